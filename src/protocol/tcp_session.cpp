#include "protocol/tcp_session.hpp"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>

#include "core/failure_report.hpp"
#include "core/limits.hpp"
#include "protocol/dispatcher.hpp"

namespace velmira {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

class tcp_session final : public connection, public std::enable_shared_from_this<tcp_session> {
 public:
  tcp_session(tcp::socket socket, dispatcher& d, std::function<void()> on_end)
      : socket_(std::move(socket)), dispatcher_(d), on_end_(std::move(on_end)) {}

  ~tcp_session() override { on_end_(); }

  void start() override {
    asio::dispatch(socket_.get_executor(), [self = shared_from_this()] { self->serve_buffered_lines(); });
  }

  void close() override {
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->end(); });
  }

 private:
  // Serves the lines the buffer holds already, then reads more. A reply
  // being written or a request on the operator's thread suspends the loop;
  // its completion resumes it, so one connection's requests stay in order.
  // Lines a client sent together are served without a round through the
  // event loop each.
  void serve_buffered_lines() {
    for (;;) {
      auto lf = buffer_.find('\n');
      if (lf == std::string::npos) return read_more();
      if (!serve_line(lf + 1)) return;
    }
  }

  void read_more() {
    // One byte more than the longest line leaves room for its LF. A closed
    // or failed connection, or a line past the limit (not_found), ends the
    // connection; nothing of an over-long line is served.
    asio::async_read_until(socket_, asio::dynamic_buffer(buffer_, limits::max_request_line + 1), '\n',
                           [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                             if (ec) return self->fail(ec, "TCP read");
                             self->serve_buffered_lines();
                           });
  }

  // True when the next line may be served at once.
  bool serve_line(std::size_t length) {
    std::string_view line(buffer_.data(), length - 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto served_at_once = dispatcher_.serve(line, [self = shared_from_this(), length](served_request served) {
      auto executor = self->socket_.get_executor();
      asio::post(executor, [self = std::move(self), length, served = std::move(served)]() mutable {
        if (self->finish(length, std::move(served))) self->serve_buffered_lines();
      });
    });
    return served_at_once && finish(length, std::move(*served_at_once));
  }

  // Takes the served line off the buffer and starts writing its reply.
  // True when there is nothing to wait for before the next line.
  bool finish(std::size_t length, served_request served) {
    if (!served.failure.empty()) {
      report_failure("TCP request", served.failure);
      end();
      return false;
    }
    buffer_.erase(0, length);
    if (!served.reply || served.reply->empty()) return true;
    reply_ = std::move(*served.reply);
    asio::async_write(socket_, asio::buffer(reply_), [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
      if (ec) return self->fail(ec, "TCP write");
      self->serve_buffered_lines();
    });
    return false;
  }

  // Endings that belong to a connection's life are not failures: the peer
  // hung up, this side closed the socket (stop), or the line was too long.
  void fail(boost::system::error_code ec, const char* what) {
    const bool expected = ec == asio::error::eof || ec == asio::error::operation_aborted ||
                          ec == asio::error::not_found || ec == asio::error::bad_descriptor || !socket_.is_open();
    if (!expected) report_failure(what, ec);
    end();
  }

  void end() {
    boost::system::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

  tcp::socket socket_;
  dispatcher& dispatcher_;
  std::function<void()> on_end_;
  std::string buffer_;
  std::string reply_;
};

}  // namespace

tcp_listener::connection_factory line_protocol_sessions(dispatcher& d) {
  return [&d](tcp::socket socket, std::function<void()> on_end) -> std::shared_ptr<connection> {
    return std::make_shared<tcp_session>(std::move(socket), d, std::move(on_end));
  };
}

}  // namespace velmira
