#include "core/http_listener.hpp"

#include <boost/asio/dispatch.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

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

class http_session final : public connection, public std::enable_shared_from_this<http_session> {
 public:
  http_session(tcp::socket socket, http_handler& handler, std::chrono::milliseconds idle_timeout,
               std::function<void()> on_end)
      : stream_(std::move(socket)), handler_(handler), idle_timeout_(idle_timeout), on_end_(std::move(on_end)) {}

  ~http_session() override { on_end_(); }

  void start() override {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->read_request(); });
  }

  void close() override {
    asio::post(stream_.get_executor(), [self = shared_from_this()] {
      beast::error_code ignored;
      self->stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
      self->stream_.socket().close(ignored);
    });
  }

 private:
  void read_request() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(limits::max_http_header));
    parser_->body_limit(limits::max_http_body);
    stream_.expires_after(idle_timeout_);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_read(ec); });
  }

  void on_read(beast::error_code ec) {
    // Timeouts, resets, malformed or oversized requests end the connection.
    if (ec) return end();
    const auto& req = parser_->get();
    http_request request{std::string(req.method_string()), std::string(req.target()),
                         std::string(req[http::field::authorization])};
    http_reply reply;
    try {
      reply = handler_.handle(request);
    } catch (const std::exception&) {
      reply = {500, "text/html; charset=utf-8", "", {}};
    }
    write_reply(std::move(reply), req.version(), req.keep_alive(), req.method() == http::verb::head);
  }

  void write_reply(http_reply reply, unsigned version, bool keep_alive, bool head) {
    auto res = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(reply.status), version);
    if (!reply.content_type.empty()) res->set(http::field::content_type, reply.content_type);
    for (auto& [name, value] : reply.headers) res->set(name, value);
    res->keep_alive(keep_alive);
    res->body() = std::move(reply.body);
    res->prepare_payload();
    if (head) res->body().clear();  // the length stays that of the body not sent
    stream_.expires_after(idle_timeout_);
    http::async_write(stream_, *res, [self = shared_from_this(), res](beast::error_code ec, std::size_t) {
      if (ec || !res->keep_alive()) return self->end();
      self->read_request();
    });
  }

  void end() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
  http_handler& handler_;
  std::chrono::milliseconds idle_timeout_;
  std::function<void()> on_end_;
};

}  // namespace

http_listener::http_listener(asio::io_context& io, http_handler& handler, event_log& log,
                             http_listener_options options)
    : listener_(std::make_unique<tcp_listener>(
          io,
          [&handler, timeout = options.idle_timeout](tcp::socket socket,
                                                     std::function<void()> on_end) -> std::shared_ptr<connection> {
            return std::make_shared<http_session>(std::move(socket), handler, timeout, std::move(on_end));
          },
          log, "HTTP", options.max_connections)) {}

http_listener::~http_listener() = default;

std::error_code http_listener::start(std::uint16_t port) { return listener_->start(port); }
void http_listener::stop() { listener_->stop(); }
bool http_listener::running() const { return listener_->running(); }
std::size_t http_listener::open_connections() const { return listener_->open_connections(); }

}  // namespace velmira
