#pragma once
// How many descriptors the process may hold open, and how many connections
// that leaves each listener. Every connection holds one descriptor; a
// listener that accepted past the limit would leave nothing for the data
// files, and its acceptor would fail on every try.
#include <cstddef>
#include <cstdint>

namespace velmira {

// Descriptors kept free of connections: standard input, output and error;
// the event loop's own (epoll, its wake-up and timer descriptors); the
// acceptors of the client-protocol, HTTP and console listeners; the
// console's connections; the data files the pool threads read and the
// operator's writes (a temporary file and its folder); the administration
// channel's socket; and each listener's connection past its cap, open for
// the moment it takes to close it. Some of these scale with the pool, so
// the reserve is a round margin, not their exact sum.
inline constexpr std::uint64_t reserved_descriptors = 128;

// Raises the soft limit on open descriptors to the hard limit, which a
// process may do without privileges; the defaults (often 1024) are far below
// what a school's clients need. Returns the soft limit in force afterwards,
// the old one when it cannot be raised. Call once at start-up.
std::uint64_t raise_descriptor_limit();

// The connection cap of each of `listeners` listeners under `descriptor_limit`:
// their caps together leave `reserved_descriptors` free, and none exceeds
// limits::max_connections. At least 1, so that a machine with a tiny limit
// still serves, one client at a time, rather than refusing everyone.
std::size_t connection_cap(std::uint64_t descriptor_limit, std::size_t listeners);

}  // namespace velmira
