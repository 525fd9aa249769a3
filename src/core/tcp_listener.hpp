#pragma once
// Accepts connections on the wildcard addresses (IPv4 and IPv6) of one port
// and hands each to a connection of its own. Caps the number of open
// connections and closes them all when stopped.
//
// Thread-safety: start, stop and the accessors may be called from any thread.
// Lifetime: destroy the listener only once its io_context has stopped running.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "core/event_log.hpp"
#include "core/limits.hpp"

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

class tcp_listener {
 public:
  using connection_factory = std::function<std::shared_ptr<connection>(
      boost::asio::ip::tcp::socket socket, std::function<void()> on_end)>;

  // `name` goes into the log line written when a connection is refused
  // because `max_connections` are open.
  tcp_listener(boost::asio::io_context& io, connection_factory factory, event_log& log, std::string name,
               std::size_t max_connections = limits::max_connections);
  ~tcp_listener();

  // Binds the port on every wildcard address the machine has; on failure
  // the listener stays stopped and the error is returned.
  std::error_code start(std::uint16_t port);
  // Stops accepting and closes every open connection; idempotent.
  void stop();

  bool running() const;
  std::size_t open_connections() const;

 private:
  struct acceptor_slot;
  void accept_next(const std::shared_ptr<acceptor_slot>& slot);
  void on_accept(boost::asio::ip::tcp::socket socket);
  // Null, with the socket closed, when the cap is reached.
  std::shared_ptr<connection> register_connection(boost::asio::ip::tcp::socket socket);

  boost::asio::io_context& io_;
  connection_factory factory_;
  event_log& log_;
  std::string name_;
  std::size_t max_connections_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<acceptor_slot>> acceptors_;
  // Open connections. Shared with their on_end callbacks: a connection may
  // be destroyed after the listener, when its io_context drops pending work.
  struct registry {
    std::mutex mutex;
    std::unordered_map<std::uint64_t, std::weak_ptr<connection>> open;
    std::uint64_t next_id = 0;
  };
  std::shared_ptr<registry> connections_ = std::make_shared<registry>();
};

}  // namespace velmira
