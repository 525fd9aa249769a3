#pragma once
// The channel to the master over TCP, on a given io_context.
//
// Each connect() makes a fresh connection object with its own strand; the
// transport only holds the current one, behind a mutex. close() lets go of
// it, so completions that arrive late land in an object nobody reads any
// more and cannot bring discarded input back.
//
// Thread-safety: as channel_transport (any member from any thread).
// Lifetime: pending completions keep their connection alive, not the
// transport; the io_context must outlive both. A `done` still pending when
// the transport is destroyed runs later with false.
#include <boost/asio/io_context.hpp>
#include <memory>

#include "core/mutex.hpp"
#include "remote_mode/channel_transport.hpp"

namespace velmira {

class tcp_channel_transport final : public channel_transport {
 public:
  explicit tcp_channel_transport(boost::asio::io_context& io);
  ~tcp_channel_transport() override;
  tcp_channel_transport(const tcp_channel_transport&) = delete;
  tcp_channel_transport& operator=(const tcp_channel_transport&) = delete;

  void connect(std::string host, std::uint16_t port, connect_handler done) override;
  bool is_open() const override;
  void write_line(std::string utf8_line) override;
  std::optional<std::string> take_received() override;
  void close() override;

  // Received bytes waiting to be taken, for diagnostics; 0 when closed.
  std::size_t unread_bytes() const;

 private:
  class connection;
  std::shared_ptr<connection> current() const;
  // Detaches the current connection and shuts it down; with `expected` set,
  // only if that is still the current one (a connect() from another thread
  // may have replaced it meanwhile).
  void drop_if_current(const std::shared_ptr<connection>& expected);

  boost::asio::io_context& io_;
  mutable mutex mutex_;
  std::shared_ptr<connection> current_ GUARDED_BY(mutex_);
};

}  // namespace velmira
