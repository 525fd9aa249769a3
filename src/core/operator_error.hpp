#pragma once
// An operation refused or failed in a way the operator must read; the text
// is UTF-8 and shown as it stands.
#include <stdexcept>

namespace velmira {

class operator_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velmira
