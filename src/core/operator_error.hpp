#pragma once
// An operation refused or failed in a way the operator must read; the text
// is UTF-8 and shown as it stands.
#include <stdexcept>

namespace velmira {

class operator_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An operator action refused because the window would be disabled now: a
// send to the master or a pull is running.
class operator_busy : public std::runtime_error {
 public:
  operator_busy() : std::runtime_error("busy") {}
};

}  // namespace velmira
