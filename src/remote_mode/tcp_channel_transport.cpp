#include "remote_mode/tcp_channel_transport.hpp"

#include <array>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <deque>
#include <string>
#include <utility>

namespace velmira {

namespace asio = boost::asio;
using asio::ip::tcp;

// One connection attempt and, once it succeeds, the connection. Sockets,
// timer, resolver, write queue and the connect outcome live on the strand;
// the received buffer and the open flag are shared with the caller's thread
// under mutex_.
class tcp_channel_transport::connection : public std::enable_shared_from_this<connection> {
 public:
  explicit connection(asio::io_context& io)
      : strand_(asio::make_strand(io)), resolver_(strand_), socket_(strand_), deadline_(strand_) {}

  void start(std::string host, std::uint16_t port, connect_handler done) {
    asio::post(strand_, [self = shared_from_this(), host = std::move(host), port, done = std::move(done)]() mutable {
      self->begin_connect(std::move(host), port, std::move(done));
    });
  }

  bool is_open() const {
    std::lock_guard lock(mutex_);
    return open_;
  }

  std::size_t unread_bytes() const {
    std::lock_guard lock(mutex_);
    return received_.size();
  }

  // Nothing once the connection has ended and its input has been taken.
  std::optional<std::string> take_received() {
    std::lock_guard lock(mutex_);
    if (!received_.empty()) return std::exchange(received_, {});
    if (!open_) return std::nullopt;
    return std::string();
  }

  void write_line(std::string utf8_line) {
    utf8_line += "\r\n";
    asio::post(strand_, [self = shared_from_this(), line = std::move(utf8_line)]() mutable {
      self->queue_write(std::move(line));
    });
  }

  // Discards unread input at once; the socket closes on the strand.
  void shut_down() {
    mark_closed_and_discard();
    asio::post(strand_, [self = shared_from_this()] { self->cancel_everything(); });
  }

 private:
  void begin_connect(std::string host, std::uint16_t port, connect_handler done) {
    done_ = std::move(done);
    if (discarded()) return finish_connect(false);
    deadline_.expires_after(channel_connect_timeout);
    deadline_.async_wait([self = shared_from_this()](boost::system::error_code ec) {
      if (!ec) self->fail_connect();
    });
    // No address_configured: on a machine whose only interface is loopback
    // it would refuse to resolve the loopback master itself.
    resolver_.async_resolve(host, std::to_string(port), tcp::resolver::numeric_service,
                            [self = shared_from_this()](boost::system::error_code ec, tcp::resolver::results_type endpoints) {
                              self->on_resolved(ec, std::move(endpoints));
                            });
  }

  void on_resolved(boost::system::error_code ec, const tcp::resolver::results_type& endpoints) {
    if (connect_finished_) return;
    if (ec || discarded()) return fail_connect();
    asio::async_connect(socket_, endpoints, [self = shared_from_this()](boost::system::error_code ec, const tcp::endpoint&) {
      self->on_connected(ec);
    });
  }

  void on_connected(boost::system::error_code ec) {
    if (connect_finished_) return;
    if (ec || discarded()) return fail_connect();
    deadline_.cancel();
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    read_next();
    finish_connect(true);
  }

  void fail_connect() {
    cancel_everything();
    finish_connect(false);
  }

  void finish_connect(bool connected) {
    if (connect_finished_) return;
    connect_finished_ = true;
    if (auto done = std::exchange(done_, nullptr)) done(connected);
  }

  void read_next() {
    socket_.async_read_some(asio::buffer(read_buffer_),
                            [self = shared_from_this()](boost::system::error_code ec, std::size_t n) {
                              self->on_read(ec, n);
                            });
  }

  void on_read(boost::system::error_code ec, std::size_t n) {
    if (ec) return end_reading();
    if (!keep_received(std::string_view(read_buffer_.data(), n))) return;
    read_next();
  }

  // False when the input is no longer wanted: closed, or past the cap.
  bool keep_received(std::string_view bytes) {
    {
      std::lock_guard lock(mutex_);
      if (discarded_) return false;
      if (received_.size() + bytes.size() <= channel_max_unread) {
        received_.append(bytes);
        return true;
      }
    }
    mark_closed_and_discard();
    cancel_everything();
    return false;
  }

  // The master ended the connection (or it broke): what it sent before
  // stays to be taken.
  void end_reading() {
    {
      std::lock_guard lock(mutex_);
      open_ = false;
    }
    cancel_everything();
  }

  void queue_write(std::string line) {
    if (!is_open()) return;
    pending_writes_.push_back(std::move(line));
    if (pending_writes_.size() == 1) write_front();
  }

  void write_front() {
    asio::async_write(socket_, asio::buffer(pending_writes_.front()),
                      [self = shared_from_this()](boost::system::error_code ec, std::size_t) { self->on_written(ec); });
  }

  void on_written(boost::system::error_code ec) {
    if (ec) {
      mark_closed_and_discard();
      cancel_everything();
      return;
    }
    pending_writes_.pop_front();
    if (!pending_writes_.empty()) write_front();
  }

  void mark_closed_and_discard() {
    std::lock_guard lock(mutex_);
    open_ = false;
    discarded_ = true;
    received_.clear();
  }

  bool discarded() const {
    std::lock_guard lock(mutex_);
    return discarded_;
  }

  // On the strand. Pending handlers then complete with an error; the
  // connect outcome, if still open, is reported as a failure.
  void cancel_everything() {
    boost::system::error_code ignored;
    deadline_.cancel();
    resolver_.cancel();
    socket_.close(ignored);
    pending_writes_.clear();
    finish_connect(false);
  }

  asio::strand<asio::io_context::executor_type> strand_;
  tcp::resolver resolver_;
  tcp::socket socket_;
  asio::steady_timer deadline_;
  std::array<char, 4096> read_buffer_{};
  connect_handler done_;           // strand
  bool connect_finished_ = false;  // strand
  std::deque<std::string> pending_writes_;  // strand; the front is being written

  mutable std::mutex mutex_;
  std::string received_;    // guarded by mutex_
  bool open_ = false;       // guarded by mutex_
  bool discarded_ = false;  // guarded by mutex_: closed by us, input unwanted
};

tcp_channel_transport::tcp_channel_transport(asio::io_context& io) : io_(io) {}

tcp_channel_transport::~tcp_channel_transport() { close(); }

void tcp_channel_transport::connect(std::string host, std::uint16_t port, connect_handler done) {
  auto fresh = std::make_shared<connection>(io_);
  std::shared_ptr<connection> previous;
  {
    mutex_lock lock(mutex_);
    previous = std::exchange(current_, fresh);
  }
  if (previous) previous->shut_down();
  fresh->start(std::move(host), port, std::move(done));
}

bool tcp_channel_transport::is_open() const {
  auto channel = current();
  return channel && channel->is_open();
}

void tcp_channel_transport::write_line(std::string utf8_line) {
  if (auto channel = current()) channel->write_line(std::move(utf8_line));
}

std::optional<std::string> tcp_channel_transport::take_received() {
  auto channel = current();
  if (!channel) return std::nullopt;
  auto received = channel->take_received();
  if (!received) drop_if_current(channel);
  return received;
}

void tcp_channel_transport::close() { drop_if_current(nullptr); }

std::size_t tcp_channel_transport::unread_bytes() const {
  auto channel = current();
  return channel ? channel->unread_bytes() : 0;
}

std::shared_ptr<tcp_channel_transport::connection> tcp_channel_transport::current() const {
  mutex_lock lock(mutex_);
  return current_;
}

void tcp_channel_transport::drop_if_current(const std::shared_ptr<connection>& expected) {
  std::shared_ptr<connection> dropped;
  {
    mutex_lock lock(mutex_);
    if (expected && current_ != expected) return;
    dropped = std::exchange(current_, nullptr);
  }
  if (dropped) dropped->shut_down();
}

}  // namespace velmira
