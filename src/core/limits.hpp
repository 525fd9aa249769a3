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
// An HTTP connection that sends nothing for this long is closed.
inline constexpr std::chrono::seconds http_idle_timeout{30};

}  // namespace velmira::limits
