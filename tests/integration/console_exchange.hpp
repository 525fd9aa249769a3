#pragma once
// One request to an operator console on loopback, over a fresh connection,
// and its reply as the tests read it.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace velmira::testing {

struct http_answer {
  int status = 0;
  std::string head;
  std::string text;
  nlohmann::json body;  // when the reply is JSON
};

// `headers` are whole lines, each ended by CR LF; Content-Length and
// Connection: close are added.
http_answer console_exchange(std::uint16_t port, const std::string& method, const std::string& path,
                             const std::string& headers, const std::string& body = "");

}  // namespace velmira::testing
