#include "remote_mode/http_fetch_test_server.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <mutex>
#include <string_view>
#include <thread>

namespace velmira::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

struct canned_http_server::state {
  std::map<std::string, canned_answer> answers;
  canned_answer otherwise;
  behaviour how = behaviour::answer;
  asio::io_context io;
  tcp::acceptor acceptor{io};
  mutable std::mutex mutex;
  std::vector<seen_request> seen;
  std::thread thread;
};

namespace {

class canned_session : public std::enable_shared_from_this<canned_session> {
 public:
  canned_session(tcp::socket socket, canned_http_server::state& state)
      : stream_(std::move(socket)), state_(state) {}

  void start() {
    http::async_read(stream_, buffer_, request_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (!ec) self->on_request();
                     });
  }

 private:
  void on_request() {
    std::string target(request_.target());
    {
      std::lock_guard lock(state_.mutex);
      state_.seen.push_back({target, std::string(request_[http::field::authorization])});
    }
    if (state_.how == canned_http_server::behaviour::never_answer) {
      // Keeps the connection open until the client gives up on it.
      stream_.async_read_some(asio::buffer(sink_), [self = shared_from_this()](
                                                       beast::error_code, std::size_t) {});
      return;
    }
    if (state_.how == canned_http_server::behaviour::not_http) {
      static constexpr std::string_view nonsense = "NOT HTTP AT ALL\r\n\r\n";
      asio::async_write(stream_, asio::buffer(nonsense),
                        [self = shared_from_this()](beast::error_code, std::size_t) { self->close(); });
      return;
    }
    auto found = state_.answers.find(target);
    const auto& answer = found == state_.answers.end() ? state_.otherwise : found->second;
    response_.version(11);
    response_.result(answer.status);
    if (!answer.content_type.empty()) response_.set(http::field::content_type, answer.content_type);
    response_.body() = answer.body;
    response_.keep_alive(false);
    response_.prepare_payload();
    http::async_write(stream_, response_,
                      [self = shared_from_this()](beast::error_code, std::size_t) { self->close(); });
  }

  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
  }

  beast::tcp_stream stream_;
  canned_http_server::state& state_;
  beast::flat_buffer buffer_;
  http::request<http::string_body> request_;
  http::response<http::string_body> response_;
  char sink_[64];
};

void accept_next(canned_http_server::state& state) {
  state.acceptor.async_accept([&state](beast::error_code ec, tcp::socket socket) {
    if (ec) return;
    std::make_shared<canned_session>(std::move(socket), state)->start();
    accept_next(state);
  });
}

}  // namespace

canned_http_server::canned_http_server(std::map<std::string, canned_answer> answers,
                                       canned_answer otherwise, behaviour how)
    : state_(std::make_shared<state>()) {
  state_->answers = std::move(answers);
  state_->otherwise = std::move(otherwise);
  state_->how = how;
  tcp::endpoint loopback(asio::ip::make_address("127.0.0.1"), 0);
  state_->acceptor.open(loopback.protocol());
  state_->acceptor.bind(loopback);
  state_->acceptor.listen();
  accept_next(*state_);
  state_->thread = std::thread([s = state_.get()] { s->io.run(); });
}

canned_http_server::~canned_http_server() {
  state_->io.stop();
  state_->thread.join();
}

std::uint16_t canned_http_server::port() const { return state_->acceptor.local_endpoint().port(); }

std::vector<seen_request> canned_http_server::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->seen;
}

std::uint16_t unused_loopback_port() {
  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  return acceptor.local_endpoint().port();
}

}  // namespace velmira::testing
