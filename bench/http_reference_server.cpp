// The reference for the HTTP benchmark: a minimal Beast server that answers
// each request with a fixed reply held in memory, rendered once at start-up.
// The reply carries the headers of velmira's file service (status 200, the
// Windows-1251 content type, Cache-Control: no-cache, Content-Length and the
// keep-alive the request asks for) and, per request target, the bytes of a
// file read once, so it sends what velmira sends for the same requests. It
// does what an efficient asynchronous Beast server does and nothing more: a
// strand per connection, one flat buffer, one parse and one write per
// request, no credentials, no file system, no timers, on 2 threads. What it
// reaches is the ceiling of this machine and client. Every method gets the
// reply to a GET; the benchmarks send nothing else.
//
//   http_reference_server --port P --body [TARGET=]FILE ...
//
// Each --body binds a request target ("/news/data.ini") to a file; one
// without a target answers every target not named. Other targets get 404.
// Listens on 127.0.0.1 until SIGTERM.
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr int server_threads = 2;

// One target's reply, rendered for HTTP/1.0 and 1.1, each kept open or not.
struct fixed_reply {
  std::string bytes[2][2];  // [HTTP/1.1][keep-alive]

  const std::string& for_request(const http::request<http::empty_body>& req) const {
    return bytes[req.version() >= 11][req.keep_alive()];
  }
};

std::string render(http::status status, const std::string& body, unsigned version, bool keep_alive) {
  http::response<http::string_body> res(status, version);
  res.set(http::field::content_type, "text/html; charset=windows-1251");
  res.set(http::field::cache_control, "no-cache");
  res.keep_alive(keep_alive);
  res.body() = body;
  res.prepare_payload();
  std::ostringstream out;
  out << res;
  return std::move(out).str();
}

fixed_reply render_all(http::status status, const std::string& body) {
  fixed_reply reply;
  for (int v11 = 0; v11 < 2; ++v11) {
    for (int keep = 0; keep < 2; ++keep) reply.bytes[v11][keep] = render(status, body, v11 ? 11 : 10, keep != 0);
  }
  return reply;
}

// Request target -> reply; the empty target stands for every other one.
using reply_table = std::map<std::string, fixed_reply, std::less<>>;

class http_session : public std::enable_shared_from_this<http_session> {
 public:
  http_session(tcp::socket socket, const reply_table& replies, const fixed_reply& not_found)
      : socket_(std::move(socket)), replies_(replies), not_found_(not_found) {}

  void read_request() {
    request_ = {};
    http::async_read(socket_, buffer_, request_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      if (!ec) self->answer();
    });
  }

 private:
  const fixed_reply& reply_for(std::string_view target) const {
    auto found = replies_.find(target);
    if (found == replies_.end()) found = replies_.find(std::string_view());
    return found == replies_.end() ? not_found_ : found->second;
  }

  void answer() {
    const bool keep_alive = request_.keep_alive();
    const std::string& bytes = reply_for(request_.target()).for_request(request_);
    asio::async_write(socket_, asio::buffer(bytes),
                      [self = shared_from_this(), keep_alive](beast::error_code ec, std::size_t) {
                        if (ec) return;
                        if (keep_alive) return self->read_request();
                        self->socket_.shutdown(tcp::socket::shutdown_send, ec);
                      });
  }

  tcp::socket socket_;
  beast::flat_buffer buffer_;
  http::request<http::empty_body> request_;
  const reply_table& replies_;
  const fixed_reply& not_found_;
};

void accept_next(tcp::acceptor& acceptor, asio::io_context& io, const reply_table& replies,
                 const fixed_reply& not_found) {
  acceptor.async_accept(asio::make_strand(io), [&](boost::system::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) std::make_shared<http_session>(std::move(socket), replies, not_found)->read_request();
    accept_next(acceptor, io, replies, not_found);
  });
}

[[noreturn]] void usage(const std::string& why) {
  std::cerr << "http_reference_server: " << why << "\nusage: http_reference_server --port P --body [TARGET=]FILE ...\n";
  std::exit(2);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) usage("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "--body /a=FILE" binds /a; "--body FILE" binds every other target.
void add_body(reply_table& replies, const std::string& value) {
  const auto equals = value.find('=');
  const std::string target = equals == std::string::npos ? std::string() : value.substr(0, equals);
  const std::string file = equals == std::string::npos ? value : value.substr(equals + 1);
  replies[target] = render_all(http::status::ok, read_file(file));
}

}  // namespace

int main(int argc, char** argv) {
  unsigned short port = 0;
  reply_table replies;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view name = argv[i];
    if (name == "--port") {
      port = static_cast<unsigned short>(std::stoi(argv[i + 1]));
    } else if (name == "--body") {
      add_body(replies, argv[i + 1]);
    } else {
      usage("unknown option " + std::string(name));
    }
  }
  if (argc % 2 == 0 || port == 0 || replies.empty()) usage("needs --port and at least one --body");
  const fixed_reply not_found = render_all(http::status::not_found, "");

  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  asio::signal_set stop(io, SIGTERM, SIGINT);
  stop.async_wait([&](boost::system::error_code, int) {
    acceptor.close();
    io.stop();
  });
  accept_next(acceptor, io, replies, not_found);
  std::vector<std::thread> threads;
  for (int i = 0; i < server_threads; ++i) threads.emplace_back([&io] { io.run(); });
  for (auto& t : threads) t.join();
  return 0;
}
