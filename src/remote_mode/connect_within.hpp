#pragma once
// Connecting a TCP socket to a master named by host name or address, bounded
// by a deadline, for the HTTP fetch and the administration channel alike.
// Internal to remote_mode: it brings in Asio's coroutine headers.
#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <string>

namespace velmira {

enum class connect_outcome {
  connected,
  unresolved,  // the name has no address
  refused,     // no address took the connection
  timed_out,   // the deadline came first
};

// Resolves `host` and connects `socket` to the first of its addresses that
// accepts, giving up once `deadline` expires or its wait is cancelled: a
// timer set to expire in the past stops the connect at once, even one that
// has not begun to wait yet. A name lookup cannot be interrupted once the
// system call runs, so past the deadline the connect stops waiting for it
// and its late answer is dropped.
//
// Must be awaited on the strand that `socket` and `deadline` belong to;
// both must outlive the await.
boost::asio::awaitable<connect_outcome> connect_within(boost::asio::ip::tcp::socket& socket,
                                                       boost::asio::steady_timer& deadline, std::string host,
                                                       std::uint16_t port);

}  // namespace velmira
