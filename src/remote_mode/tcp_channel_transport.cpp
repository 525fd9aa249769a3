#include "remote_mode/tcp_channel_transport.hpp"

#include <array>
#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <deque>
#include <string>
#include <utility>

#include "remote_mode/connect_within.hpp"

namespace velmira {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {
constexpr auto awaited = asio::as_tuple(asio::use_awaitable);
}  // namespace

// One connection attempt and, once it succeeds, the connection. Its
// coroutines (the connect and read loop, the writer), socket, timer and
// write queue live on the strand; the received buffer and the open flag
// are shared with the caller's thread under mutex_. Each coroutine holds
// the connection alive while it runs.
class tcp_channel_transport::connection : public std::enable_shared_from_this<connection> {
 public:
  explicit connection(asio::io_context& io)
      : strand_(asio::make_strand(io)), socket_(strand_), deadline_(strand_, channel_connect_timeout) {}

  void start(std::string host, std::uint16_t port, connect_handler done) {
    asio::co_spawn(strand_, connect_and_read(shared_from_this(), std::move(host), port, std::move(done)),
                   asio::detached);
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
  // `done` runs once the connect has ended, and never before the first
  // wait, so never inside connect(). The deadline was set when the attempt
  // was made.
  asio::awaitable<void> connect_and_read([[maybe_unused]] std::shared_ptr<connection> keep_alive, std::string host,
                                         std::uint16_t port, connect_handler done) {
    auto outcome = co_await connect_within(socket_, deadline_, std::move(host), port);
    if (outcome != connect_outcome::connected || !open_unless_discarded()) {
      cancel_everything();
      done(false);
      co_return;
    }
    done(true);
    co_await read_until_end();
  }

  asio::awaitable<void> read_until_end() {
    for (;;) {
      auto [ec, n] = co_await socket_.async_read_some(asio::buffer(read_buffer_), awaited);
      if (ec) co_return end_reading();
      if (!keep_received(std::string_view(read_buffer_.data(), n))) co_return;
    }
  }

  // False when close() came first: then the connection stays closed.
  bool open_unless_discarded() {
    std::lock_guard lock(mutex_);
    if (discarded_) return false;
    open_ = true;
    return true;
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
    if (pending_writes_.size() == 1) asio::co_spawn(strand_, write_queued(shared_from_this()), asio::detached);
  }

  // The front of the queue is the line being written; the writer ends when
  // the queue is empty, and a failed write closes the channel.
  asio::awaitable<void> write_queued([[maybe_unused]] std::shared_ptr<connection> keep_alive) {
    while (!pending_writes_.empty()) {
      auto [ec, n] = co_await asio::async_write(socket_, asio::buffer(pending_writes_.front()), awaited);
      if (ec) {
        pending_writes_.clear();
        mark_closed_and_discard();
        cancel_everything();
        co_return;
      }
      pending_writes_.pop_front();
    }
  }

  void mark_closed_and_discard() {
    std::lock_guard lock(mutex_);
    open_ = false;
    discarded_ = true;
    received_.clear();
  }

  // On the strand. Pending operations then complete with an error. The
  // deadline is set in the past rather than cancelled, so that a connect
  // not yet waiting on it gives up at once too. The write queue is the
  // writer's to empty: it may be in the middle of a write.
  void cancel_everything() {
    boost::system::error_code ignored;
    deadline_.expires_at(asio::steady_timer::time_point::min());
    socket_.close(ignored);
  }

  asio::strand<asio::io_context::executor_type> strand_;
  tcp::socket socket_;
  asio::steady_timer deadline_;
  std::array<char, 4096> read_buffer_{};
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
