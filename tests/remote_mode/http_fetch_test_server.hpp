#pragma once
// A master's file service for the tests: answers GET requests on loopback
// from a table of targets, records what it was sent, and can also take
// requests and never answer them, or answer them with something that is
// not HTTP.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmira::testing {

struct canned_answer {
  unsigned status = 200;
  std::string content_type;  // no header when empty
  std::string body;
};

struct seen_request {
  std::string target;  // as sent, percent-encoded
  std::string authorization;
};

class canned_http_server {
 public:
  enum class behaviour { answer, never_answer, not_http };

  // Targets not in `answers` get `otherwise`.
  explicit canned_http_server(std::map<std::string, canned_answer> answers,
                              canned_answer otherwise = {404, "text/plain", "not found"},
                              behaviour how = behaviour::answer);
  ~canned_http_server();
  canned_http_server(const canned_http_server&) = delete;
  canned_http_server& operator=(const canned_http_server&) = delete;

  std::uint16_t port() const;
  std::vector<seen_request> requests() const;

  struct state;

 private:
  std::shared_ptr<state> state_;
};

// A loopback port that was just free: bound and closed again.
std::uint16_t unused_loopback_port();

}  // namespace velmira::testing
