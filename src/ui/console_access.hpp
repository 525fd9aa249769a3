#pragma once
// Who may use the operator console, decided from a request's headers alone
// (no sockets here): the operator key, log-in sessions, a throttle on
// guessing the key, the Host check against DNS rebinding, and a custom header
// that a cross-site form cannot add, against request forgery.
//
// Thread-safety: console_access keeps its key, sessions and throttle behind
// one mutex, so one object may be shared by every HTTP pool thread; all its
// member functions may be called concurrently. The clock it is given must be
// safe to call from those threads too. The free functions keep no state.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/data_directory.hpp"
#include "core/mutex.hpp"

namespace velmira {

// The key file could not be read or holds an unusable key; the server must
// not start without a console key it can trust.
class console_key_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Name of the key file inside the data directory.
inline constexpr std::string_view console_key_file_name = operator_key_file_name;
// Name of the cookie that carries the session token.
inline constexpr std::string_view console_session_cookie_name = "velmira_session";
// Shortest key the operator may choose.
inline constexpr std::size_t console_key_min_length = 16;

// At least console_key_min_length characters, all printable ASCII without
// space (0x21..0x7E), so the key survives a header and a copy-paste intact.
bool is_valid_console_key(std::string_view key);

// The key in data_dir/console.key. A missing file is created first, mode 0600
// from the moment it exists, holding 32 random bytes as 64 lower-case hex
// digits and LF. The key is the first line without its CR/LF; an invalid one,
// or a file that cannot be read or created, throws console_key_error.
std::string load_or_create_console_key(const std::filesystem::path& data_dir);

// `count` bytes from the kernel's random source as lower-case hex.
std::string random_hex(std::size_t count);

// Equality whose running time does not depend on where the texts differ.
bool constant_time_equal(std::string_view a, std::string_view b);

// Whether a Host header names the console: its own listen address, or
// localhost, 127.0.0.1 or [::1], each with the listen port (a Host without
// port means 80). Names compare case-insensitively; an IPv6 listen address is
// expected in brackets in Host. Anything else, an empty Host included, is
// false, so a rebound DNS name pointing at the console is refused.
bool host_names_console(std::string_view host, std::string_view listen_address,
                        std::uint16_t port);

// What failed log-ins are counted by: every loopback address is one group
// ("loopback"), an IPv4 address its own, an IPv6 address its /64; so
// guesses rotated over 127.0.0.2, .3, ... or over one network's addresses
// count together.
std::string throttle_group(std::string_view peer);

// Values of the named cookie in a Cookie header ("a=1; b=2"), in order.
std::vector<std::string> cookie_values(std::string_view cookie_header, std::string_view name);

// What check() needs of one request; absent headers are empty.
struct console_request_facts {
  std::string method;  // "GET", "POST", ...
  std::string path;    // target path; a query string is ignored
  std::string host;
  std::string authorization;
  std::string cookie;
  std::string x_velmira;
  std::string peer;  // remote address, e.g. "127.0.0.1"
};

enum class access_verdict {
  allowed,
  unauthorised,  // 401: neither the key nor a live session
  forbidden,     // 403: cookie-authorised change without X-Velmira: 1
  misdirected,   // 421: Host does not name the console
  throttled,     // 429: too many wrong keys from this address
};

struct login_outcome {
  enum result_kind { ok, wrong_key, throttled } result;
  std::string token;  // the new session's token when ok, else empty
};

struct console_access_options {
  std::string key;  // must satisfy is_valid_console_key
  std::string listen_address;
  std::uint16_t port = 0;
  std::function<std::chrono::steady_clock::time_point()> clock = [] {
    return std::chrono::steady_clock::now();
  };
  // Failed log-ins allowed per address within throttle_window.
  std::size_t max_failures = 10;
  std::chrono::seconds throttle_window{60};
  // Bounds on memory: beyond these the oldest entry is forgotten.
  std::size_t max_tracked_addresses = 10000;
  std::size_t max_sessions = 256;
};

class console_access {
 public:
  // Throws std::invalid_argument when the key is not valid.
  explicit console_access(console_access_options options);

  console_access(const console_access&) = delete;
  console_access& operator=(const console_access&) = delete;

  // In order: Host (421), then the key or a live session (401), then the
  // cross-site header for cookie-authorised changes (403). POST /api/login
  // needs only the Host check. Every method but GET and HEAD counts as a
  // change, so no verb slips past the cross-site rule. A wrong bearer key
  // counts as a failed log-in, and a throttled address gets 429 for any key.
  access_verdict check(const console_request_facts& request);

  // A new session when the key is right. A wrong key counts against the
  // throttle group of `peer`; a group with max_failures failures in the current window is refused
  // without looking at the key until throttle_window after its first one.
  login_outcome log_in(std::string_view key, std::string_view peer);

  // Ends every session named by the Cookie header; unknown tokens are ignored.
  void log_out(std::string_view cookie_header);

  // The Set-Cookie value that hands the session token to the browser.
  static std::string session_cookie(std::string_view token);
  // The Set-Cookie value that makes the browser drop it.
  static std::string expired_session_cookie();

 private:
  using time_point = std::chrono::steady_clock::time_point;
  struct failure_window {
    time_point start;
    std::size_t failures = 0;
  };

  // The credentials of a "Bearer" Authorization header.
  static std::optional<std::string_view> bearer_key(std::string_view authorization);
  access_verdict check_bearer(std::string_view key, std::string_view peer);
  bool has_live_session(std::string_view cookie_header) const;
  bool is_throttled(const std::string& peer, time_point now) const REQUIRES(mutex_);
  void count_failure(const std::string& peer, time_point now) REQUIRES(mutex_);
  void make_room_for_address(time_point now) REQUIRES(mutex_);
  std::string open_session() REQUIRES(mutex_);

  const console_access_options options_;
  mutable mutex mutex_;
  std::deque<std::string> sessions_ GUARDED_BY(mutex_);  // oldest first
  std::unordered_map<std::string, failure_window> failures_ GUARDED_BY(mutex_);
};

}  // namespace velmira
