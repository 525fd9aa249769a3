#include "core/http_listener.hpp"

#include <unistd.h>

#include <array>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/http/span_body.hpp>

#include "core/limits.hpp"
#include "core/tcp_listener.hpp"

namespace velmira {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

http_reply default_http_reply() {
  return {200, "text/html; charset=utf-8", "<HTML><BODY><B>200 OK</B></BODY></HTML>", {}};
}

namespace {

using clock = std::chrono::steady_clock;
// A strand of a concrete type: the polymorphic executor the listener's
// sockets carry costs a few indirect calls and copies on every operation.
using session_strand = asio::strand<asio::io_context::executor_type>;
using strand_socket = asio::basic_stream_socket<tcp, session_strand>;
using strand_timer = asio::basic_waitable_timer<clock, asio::wait_traits<clock>, session_strand>;

// The accepted socket moved onto a strand of that type. A socket that
// cannot be moved comes back closed, and its connection ends at once.
strand_socket on_own_strand(tcp::socket accepted, asio::io_context& io) {
  strand_socket socket(asio::make_strand(io));
  beast::error_code ec;
  const auto protocol = accepted.local_endpoint(ec).protocol();
  if (ec) return socket;
  const auto fd = accepted.release(ec);
  if (ec) return socket;
  socket.assign(protocol, fd, ec);
  if (ec) ::close(fd);
  return socket;
}

class http_session final : public connection, public std::enable_shared_from_this<http_session> {
 public:
  http_session(strand_socket socket, http_handler& handler, std::chrono::milliseconds idle_timeout,
               std::function<void()> on_end)
      : socket_(std::move(socket)),
        deadline_timer_(socket_.get_executor()),
        handler_(handler),
        idle_timeout_(idle_timeout),
        on_end_(std::move(on_end)) {}

  ~http_session() override { on_end_(); }

  void start() override {
    asio::dispatch(socket_.get_executor(), [self = shared_from_this()] {
      self->read_request();
      self->watch_deadline();
    });
  }

  void close() override {
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->close_socket(tcp::socket::shutdown_both); });
  }

 private:
  void read_request() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(limits::max_http_header));
    parser_->body_limit(limits::max_http_body);
    deadline_ = clock::now() + idle_timeout_;
    http::async_read(socket_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_read(ec); });
  }

  void on_read(beast::error_code ec) {
    // Timeouts, resets, malformed or oversized requests end the connection.
    if (ec) return end();
    const auto& req = parser_->get();
    http_request request{std::string(req.method_string()), std::string(req.target()),
                         std::string(req[http::field::authorization]), &memo_};
    http_reply reply;
    try {
      reply = handler_.serve(request);
    } catch (const std::exception&) {
      reply = {500, "text/html; charset=utf-8", "", {}};
    }
    write_reply(std::move(reply), req.version(), req.keep_alive(), req.method() == http::verb::head);
  }

  void write_reply(http_reply reply, unsigned version, bool keep_alive, bool head) {
    body_ = reply.shared_body ? std::move(reply.shared_body) : std::make_shared<const std::string>(std::move(reply.body));
    http::response<http::span_body<const char>> res(static_cast<http::status>(reply.status), version);
    if (!reply.content_type.empty()) res.set(http::field::content_type, reply.content_type);
    for (auto& [name, value] : reply.headers) res.set(name, value);
    res.keep_alive(keep_alive);
    res.body() = {body_->data(), body_->size()};
    res.prepare_payload();
    serialize_header(res);
    // The length stays that of the body a HEAD reply does not send.
    std::array<asio::const_buffer, 2> reply_bytes{asio::buffer(header_),
                                                  head ? asio::const_buffer() : asio::buffer(*body_)};
    deadline_ = clock::now() + idle_timeout_;
    asio::async_write(socket_, reply_bytes,
                      [self = shared_from_this(), keep_alive](beast::error_code ec, std::size_t) {
                        if (ec || !keep_alive) return self->end();
                        self->read_request();
                      });
  }

  // Beast's fields, laid out as Beast lays them out: the status line, each
  // field as "name: value", an empty line. Its serializer would take a
  // good share of a cached reply's whole cost to do the same; the header
  // and body then go out in one gathered write.
  void serialize_header(const http::response<http::span_body<const char>>& res) {
    header_.assign("HTTP/");
    header_ += static_cast<char>('0' + res.version() / 10);
    header_ += '.';
    header_ += static_cast<char>('0' + res.version() % 10);
    header_ += ' ';
    header_ += std::to_string(res.result_int());
    header_ += ' ';
    header_.append(res.reason());
    header_ += "\r\n";
    for (const auto& field : res) {
      header_.append(field.name_string());
      header_ += ": ";
      header_.append(field.value());
      header_ += "\r\n";
    }
    header_ += "\r\n";
  }

  // One timer per connection that wakes when the deadline may have passed
  // and looks again, rather than one reset per read and write: moving the
  // deadline is then a store, which keeps timers off the request path.
  void watch_deadline() {
    deadline_timer_.expires_at(deadline_);
    deadline_timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (ec == asio::error::operation_aborted || !self->socket_.is_open()) return;
      // The read or write that is waiting fails once the socket is closed.
      if (clock::now() >= self->deadline_) {
        beast::error_code ignored;
        return void(self->socket_.close(ignored));
      }
      self->watch_deadline();
    });
  }

  void end() { close_socket(tcp::socket::shutdown_send); }

  void close_socket(tcp::socket::shutdown_type how) {
    beast::error_code ignored;
    socket_.shutdown(how, ignored);
    socket_.close(ignored);
    deadline_timer_.cancel();
  }

  strand_socket socket_;
  strand_timer deadline_timer_;
  clock::time_point deadline_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
  // The reply being written.
  std::string header_;
  std::shared_ptr<const std::string> body_;
  http_handler& handler_;
  std::unique_ptr<http_connection_memo> memo_;
  std::chrono::milliseconds idle_timeout_;
  std::function<void()> on_end_;
};

}  // namespace

http_listener::http_listener(asio::io_context& io, http_handler& handler, event_log& log,
                             http_listener_options options)
    : listener_(std::make_unique<tcp_listener>(
          io,
          [&io, &handler, timeout = options.idle_timeout](
              tcp::socket socket, std::function<void()> on_end) -> std::shared_ptr<connection> {
            return std::make_shared<http_session>(on_own_strand(std::move(socket), io), handler, timeout,
                                                  std::move(on_end));
          },
          log, "HTTP", options.max_connections)) {}

http_listener::~http_listener() = default;

std::error_code http_listener::start(std::uint16_t port) { return listener_->start(port); }
void http_listener::stop() { listener_->stop(); }
bool http_listener::running() const { return listener_->running(); }
std::size_t http_listener::open_connections() const { return listener_->open_connections(); }

}  // namespace velmira
