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

#include "core/failure_report.hpp"
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
  if (!ec) {
    const auto fd = accepted.release(ec);
    if (!ec) {
      socket.assign(protocol, fd, ec);
      if (ec) ::close(fd);
    }
  }
  if (ec) report_failure("HTTP accept", ec);
  return socket;
}

class http_session final : public connection,
                           public http_reply_sink,
                           public std::enable_shared_from_this<http_session> {
 public:
  http_session(strand_socket socket, http_handler& handler, std::chrono::milliseconds idle_timeout, std::size_t max_body,
               bool answer_large_body, std::function<void()> on_end)
      : socket_(std::move(socket)),
        strand_(socket_.get_executor()),
        deadline_timer_(socket_.get_executor()),
        handler_(handler),
        idle_timeout_(idle_timeout),
        max_body_(max_body),
        answer_large_body_(answer_large_body),
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
    empty_line_skipped_ = false;
    parse_request();
  }

  void parse_request() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(limits::max_http_header));
    parser_->body_limit(max_body_);
    deadline_ = clock::now() + idle_timeout_;
    http::async_read(socket_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_read(ec); });
  }

  void on_read(beast::error_code ec) {
    if (ec == http::error::bad_method && !empty_line_skipped_) return skip_empty_line();
    if (ec == http::error::body_limit && answer_large_body_) return refuse_large_body();
    // Timeouts, resets, malformed or oversized requests end the connection.
    if (ec) return fail(ec, "HTTP read");
    auto& req = parser_->get();
    http_request request{std::string(req.method_string()), std::string(req.target()),
                         std::string(req[http::field::authorization]), &memo_};
    request.host = std::string(req[http::field::host]);
    request.cookie = std::string(req[http::field::cookie]);
    request.x_velmira = std::string(req["X-Velmira"]);
    request.content_type = std::string(req[http::field::content_type]);
    request.if_match = std::string(req[http::field::if_match]);
    request.body = std::move(req.body());
    beast::error_code ignored;
    request.peer = socket_.remote_endpoint(ignored).address().to_string();
    answering_ = {req.version(), req.keep_alive(), req.method() == http::verb::head};
    // However long the handler takes, the connection is not idle.
    deadline_ = clock::time_point::max();
    try {
      handler_.async_serve(std::move(request), shared_from_this());
    } catch (const std::exception& e) {
      report_failure("HTTP request", e.what());
      send({500, "text/html; charset=utf-8", "", {}});
    }
  }

  void send(http_reply reply) override {
    asio::dispatch(socket_.get_executor(), [self = shared_from_this(), reply = std::move(reply)]() mutable {
      self->write_reply(std::move(reply), self->answering_.version, self->answering_.keep_alive, self->answering_.head);
    });
  }

  asio::any_io_executor executor() const override { return strand_; }

  // The client is told why before the connection closes: the rest of the
  // body is never read.
  void refuse_large_body() {
    answering_ = {parser_->get().version(), false, false};
    write_reply({413, "text/plain; charset=utf-8", "request body too large\n", {}}, answering_.version, false, false);
  }

  // A server ignores one empty line before a request line (RFC 9112,
  // 2.2): some clients send CR LF after a request body. Beast's parser
  // refuses it as a bad method without taking a byte, so the line is taken
  // off here and the request parsed again. A CR alone may be the first
  // half of such a line; the next bytes tell.
  void skip_empty_line() {
    const std::string_view bytes(static_cast<const char*>(buffer_.data().data()), buffer_.size());
    if (bytes == "\r") return read_more_then_skip_empty_line();
    const std::size_t length = bytes.starts_with("\r\n") ? 2 : bytes.starts_with('\n') ? 1 : 0;
    if (length == 0) return fail(http::error::bad_method, "HTTP read");
    buffer_.consume(length);
    empty_line_skipped_ = true;
    parse_request();
  }

  void read_more_then_skip_empty_line() {
    socket_.async_read_some(buffer_.prepare(limits::max_http_header),
                            [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                              if (ec) return self->fail(ec, "HTTP read");
                              self->buffer_.commit(n);
                              self->skip_empty_line();
                            });
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
                        if (ec) return self->fail(ec, "HTTP write");
                        if (!keep_alive) return self->end();
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
  // While a handler works there is no deadline, and the timer looks again
  // an idle timeout later.
  void watch_deadline() {
    deadline_timer_.expires_at(std::min(deadline_, clock::now() + idle_timeout_));
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

  // The client closing between requests, and this side closing the socket
  // (stop, the idle timeout), which aborts what was pending or leaves a
  // queued operation to find the socket closed, are how connections end.
  // Anything else is reported.
  void fail(beast::error_code ec, const char* what) {
    const bool expected = ec == http::error::end_of_stream || ec == asio::error::eof ||
                          ec == asio::error::operation_aborted || !socket_.is_open();
    if (!expected) report_failure(what, ec);
    end();
  }

  void end() { close_socket(tcp::socket::shutdown_send); }

  void close_socket(tcp::socket::shutdown_type how) {
    beast::error_code ignored;
    socket_.shutdown(how, ignored);
    socket_.close(ignored);
    deadline_timer_.cancel();
  }

  strand_socket socket_;
  session_strand strand_;
  strand_timer deadline_timer_;
  clock::time_point deadline_;
  beast::flat_buffer buffer_;
  // A client may send a body with any request: it is read (up to the cap),
  // so that its bytes are never taken for the next request, and handed on.
  std::optional<http::request_parser<http::string_body>> parser_;
  bool empty_line_skipped_ = false;  // before the request being read
  // What the reply to the request being answered depends on.
  struct answering {
    unsigned version = 11;
    bool keep_alive = false;
    bool head = false;
  } answering_;
  // The reply being written.
  std::string header_;
  std::shared_ptr<const std::string> body_;
  http_handler& handler_;
  std::unique_ptr<http_connection_memo> memo_;
  std::chrono::milliseconds idle_timeout_;
  std::size_t max_body_;
  bool answer_large_body_;
  std::function<void()> on_end_;
};

}  // namespace

http_listener::http_listener(asio::io_context& io, http_handler& handler, event_log& log,
                             http_listener_options options)
    : listener_(std::make_unique<tcp_listener>(
          io,
          [&io, &handler, options](tcp::socket socket, std::function<void()> on_end) -> std::shared_ptr<connection> {
            return std::make_shared<http_session>(on_own_strand(std::move(socket), io), handler, options.idle_timeout,
                                                  options.max_body, options.answer_large_body, std::move(on_end));
          },
          log, "HTTP", tcp_listener_options{.max_connections = options.max_connections})) {}

http_listener::~http_listener() = default;

std::error_code http_listener::start(std::uint16_t port) { return listener_->start(port); }
void http_listener::stop() { listener_->stop(); }
std::error_code http_listener::start(const std::string& address, std::uint16_t port) {
  boost::system::error_code ec;
  auto parsed = asio::ip::make_address(address, ec);
  if (ec) return ec;
  return listener_->start(parsed, port);
}

std::uint16_t http_listener::local_port() const { return listener_->local_port(); }

bool http_listener::running() const { return listener_->running(); }
std::size_t http_listener::open_connections() const { return listener_->open_connections(); }

}  // namespace velmira
