#pragma once
// Accepts connections on the wildcard addresses (IPv4 and IPv6) of one port
// and hands each to a connection of its own. Caps the number of open
// connections and closes them all when stopped; of the connections refused
// at the cap it logs the first and, once one is accepted again, how many
// were refused. When accepting fails (out of descriptors or buffers) it
// pauses for limits::accept_pause before the next try and logs the first
// failure of each such episode.
//
// Thread-safety: start, stop and the accessors may be called from any thread.
// Lifetime: destroy the listener only once its io_context has stopped running.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cstdint>
#include <functional>
#include <atomic>
#include <memory>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "core/event_log.hpp"
#include "core/limits.hpp"
#include "core/mutex.hpp"

namespace velmira {

// One accepted connection. It must end by calling the `on_end` it was made
// with, exactly once, whenever and however it ends.
class connection {
 public:
  virtual ~connection() = default;
  virtual void start() = 0;
  // Closes the socket from any thread; the connection then ends.
  virtual void close() = 0;
};

struct tcp_listener_options {
  // Past this many open connections a new one is closed at once.
  std::size_t max_connections = limits::max_connections;
  // Turns on the kernel's keep-alive probes (limits::tcp_keepalive_*) on
  // every accepted socket, for connections whose reads wait for ever.
  bool keep_alive = false;
};

class tcp_listener {
 public:
  using connection_factory = std::function<std::shared_ptr<connection>(
      boost::asio::ip::tcp::socket socket, std::function<void()> on_end)>;

  // `name` begins the listener's log lines (a connection refused at the
  // cap, accepting failed).
  tcp_listener(boost::asio::io_context& io, connection_factory factory, event_log& log, std::string name,
               tcp_listener_options options = {});
  ~tcp_listener();

  // Binds the port on every wildcard address the machine has; on failure
  // the listener stays stopped and the error is returned.
  std::error_code start(std::uint16_t port);
  // Stops accepting and closes every open connection; idempotent.
  void stop();

  // Binds one address only (the operator console's); port 0 picks a free one.
  std::error_code start(const boost::asio::ip::address& address, std::uint16_t port);
  // The port bound, 0 while stopped.
  std::uint16_t local_port() const;

  bool running() const;
  std::size_t open_connections() const;

 private:
  std::error_code start_on(const std::vector<boost::asio::ip::address>& addresses, std::uint16_t port);
  struct acceptor_slot;
  void accept_next(const std::shared_ptr<acceptor_slot>& slot) REQUIRES(mutex_);
  void pause_accepting(const std::shared_ptr<acceptor_slot>& slot, const boost::system::error_code& error)
      REQUIRES(mutex_);
  void on_accept(boost::asio::ip::tcp::socket socket) REQUIRES(mutex_);
  // Null, with the socket closed, when the cap is reached.
  std::shared_ptr<connection> register_connection(boost::asio::ip::tcp::socket socket);

  boost::asio::io_context& io_;
  connection_factory factory_;
  event_log& log_;
  std::string name_;
  tcp_listener_options options_;
  mutable mutex mutex_;
  std::vector<std::shared_ptr<acceptor_slot>> acceptors_ GUARDED_BY(mutex_);
  // Set by a failed accept, cleared by the next success.
  bool accept_failing_ GUARDED_BY(mutex_) = false;
  // Connections closed at the cap since one was last accepted; accepts on
  // two addresses may complete at once.
  std::atomic<std::size_t> refused_at_cap_{0};
  // Open connections. Shared with their on_end callbacks: a connection may
  // be destroyed after the listener, when its io_context drops pending work.
  struct registry {
    velmira::mutex mutex;
    std::unordered_map<std::uint64_t, std::weak_ptr<connection>> open GUARDED_BY(mutex);
    std::uint64_t next_id GUARDED_BY(mutex) = 0;
  };
  std::shared_ptr<registry> connections_ = std::make_shared<registry>();
};

}  // namespace velmira
