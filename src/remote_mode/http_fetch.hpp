#pragma once
// One GET from the master's HTTP file service, as a server in remote mode
// makes it to copy the master's files. The Beast client stays in
// http_fetch.cpp; this header needs no Asio beyond a forward declaration.
//
// Texts are Windows-1251 (the server's own encoding) unless named utf8.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace boost::asio {
class io_context;
}

namespace velmira {

// How long each phase of a fetch may take. The master is on the school's own
// network: a master that does not answer within these is taken as down, and
// the pull goes on with its next file instead of stalling the remote server.
// The connect limit also bounds resolving the master's host name.
inline constexpr std::chrono::milliseconds fetch_connect_timeout{1000};
inline constexpr std::chrono::milliseconds fetch_send_timeout{600};
inline constexpr std::chrono::milliseconds fetch_response_timeout{900};

enum class fetch_status {
  ok,      // status 200: text holds the body (possibly empty)
  absent,  // the master answered with another status
  failed,  // no connection, a timeout, a malformed answer
};

struct fetch_result {
  fetch_status status = fetch_status::failed;
  std::string text;  // Windows-1251; empty unless status is ok
};

// The text the pull's decisions are written in: the body for ok, "" for
// absent, "*error*" for failed.
inline constexpr std::string_view fetch_error_marker = "*error*";
std::string fetch_marker(const fetch_result& result);

struct fetch_request {
  std::string host;  // host name or IP address of the master
  std::uint16_t port = 0;
  std::string path;           // Windows-1251, starts with "/"; encoded on sending
  std::string authorization;  // the whole header value, or empty for none
};

// "Basic " + Base64 of the UTF-8 of login + ":" + password.
std::string basic_authorization(std::string_view login, std::string_view password);

// The request target for a Windows-1251 path: ASCII stays as it is except
// space, "%", "?", "#", DEL and control bytes; every other character is
// percent-encoded as its UTF-8 bytes. "/", "^" and ";" stay literal, since
// the master reads its credentials path from them.
std::string encode_request_path(std::string_view path);

// What an answer means: 200 gives the body decoded by the charset the
// Content-Type declares (utf-8 is converted, anything else is taken as
// Windows-1251), with a body of exactly one LF taken as empty; any other
// status is absent.
fetch_result interpret_response(unsigned status, std::string_view content_type, std::string body);

// Resolves, connects, sends and reads on `io`; `done` is called exactly once,
// from a thread running `io`, also when the fetch fails.
void http_fetch(boost::asio::io_context& io, fetch_request request,
                std::function<void(fetch_result)> done);

}  // namespace velmira
