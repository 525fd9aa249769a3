#pragma once
// Caps that keep one client, or a flood of them, from exhausting the server.
#include <chrono>
#include <cstddef>

namespace velmira::limits {

// Longest request line of the client protocol, LF not counted.
inline constexpr std::size_t max_request_line = 16'384;
// Simultaneous connections per listener; past it a new one is closed at once.
inline constexpr std::size_t max_connections = 10'000;
// HTTP: header block size and request body size (only GET and HEAD are served).
inline constexpr std::size_t max_http_header = 8 * 1024;
inline constexpr std::size_t max_http_body = 64 * 1024;
// The operator console takes whole files: a school's class lists, some
// hundred bytes a user, or the calendar document.
inline constexpr std::size_t max_console_body = 4 * 1024 * 1024;
// An HTTP connection that sends nothing for this long is closed.
inline constexpr std::chrono::seconds http_idle_timeout{30};

// After a failed accept (out of descriptors or buffers) a listener waits
// this long before the next: the waiting connection keeps the acceptor
// ready, so accepting again at once would fail at once, over and over.
inline constexpr std::chrono::milliseconds accept_pause{100};

// Client-protocol connections may wait for a request for ever, so a peer
// that vanished without a word (power cut, cable pulled) is found out by
// the kernel's probes instead: the first after this much silence, then one
// each interval; after that many unanswered the connection fails. A dead
// peer goes within three minutes.
inline constexpr std::chrono::seconds tcp_keepalive_idle{60};
inline constexpr std::chrono::seconds tcp_keepalive_interval{20};
inline constexpr int tcp_keepalive_probes = 6;

}  // namespace velmira::limits
