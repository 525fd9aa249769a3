#pragma once
// One GET from the master's HTTP file service, as a server in remote mode
// makes it to copy the master's files. The Beast client stays in
// http_fetch.cpp; this header needs no Asio beyond the coroutine type.
//
// Texts are Windows-1251 (the server's own encoding) unless named utf8.
#include <boost/asio/awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmira {

// How long each phase of a fetch may take. The master is on the school's own
// network: a master that does not answer within these is taken as down, and
// the pull goes on with its next file instead of stalling the remote server.
// The connect limit also bounds resolving the master's host name.
inline constexpr std::chrono::milliseconds fetch_connect_timeout{1000};
inline constexpr std::chrono::milliseconds fetch_send_timeout{600};
inline constexpr std::chrono::milliseconds fetch_response_timeout{900};

// Why a fetch got no answer.
enum class fetch_error {
  none,      // the master answered; see the status
  resolve,   // the host name has no address
  connect,   // no address took the connection
  timeout,   // a phase outran its limit
  protocol,  // the connection broke, or the answer was no HTTP response within the body limit
};

struct fetch_result {
  fetch_error error = fetch_error::none;
  unsigned status = 0;  // the HTTP status; 0 unless error is none
  std::string text;     // Windows-1251; the body of a 200, otherwise empty
};

// The text the pull's decisions are written in: the body for status 200,
// "" for another status, "*error*" for a fetch that got no answer.
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
// status gives no text.
fetch_result interpret_response(unsigned status, std::string_view content_type, std::string body);

// Resolves, connects, sends and reads, each phase within its limit; never
// throws for a failed fetch, which its result tells. The fetch runs on a
// strand of its own over the awaiting coroutine's executor, so its
// deadlines and its I/O never run at once even where several threads run
// that executor's context; the awaiting coroutine resumes on its own
// executor.
boost::asio::awaitable<fetch_result> http_fetch(fetch_request request);

}  // namespace velmira
