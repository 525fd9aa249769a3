// The reference for the line-protocol benchmarks: a minimal Asio line
// server that answers every line with the same fixed text. It is shaped as
// the real server's sessions are (a strand per connection, read until LF
// into a string, write, read again) and runs on as many threads, so what it
// reaches is the ceiling of this machine and client, and the real server's
// figures over it show what serving a request costs on top.
//
//   line_reference_server --port P     listens on 127.0.0.1 until SIGTERM
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

constexpr std::string_view fixed_reply = "reference reply of the line benchmark";
constexpr std::size_t max_line = 16'384;
constexpr int server_threads = 2;

class line_session : public std::enable_shared_from_this<line_session> {
 public:
  explicit line_session(tcp::socket socket) : socket_(std::move(socket)) {}

  void read_line() {
    asio::async_read_until(socket_, asio::dynamic_buffer(buffer_, max_line + 1), '\n',
                           [self = shared_from_this()](boost::system::error_code ec, std::size_t n) {
                             if (!ec) self->answer(n);
                           });
  }

 private:
  void answer(std::size_t line_length) {
    buffer_.erase(0, line_length);
    asio::async_write(socket_, asio::buffer(fixed_reply),
                      [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                        if (!ec) self->read_line();
                      });
  }

  tcp::socket socket_;
  std::string buffer_;
};

void accept_next(tcp::acceptor& acceptor, asio::io_context& io) {
  acceptor.async_accept(asio::make_strand(io), [&acceptor, &io](boost::system::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) std::make_shared<line_session>(std::move(socket))->read_line();
    accept_next(acceptor, io);
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string_view(argv[1]) != "--port") {
    std::cerr << "usage: line_reference_server --port P\n";
    return 2;
  }
  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"),
                                           static_cast<unsigned short>(std::stoi(argv[2]))));
  asio::signal_set stop(io, SIGTERM, SIGINT);
  stop.async_wait([&](boost::system::error_code, int) {
    acceptor.close();
    io.stop();
  });
  accept_next(acceptor, io);
  std::vector<std::thread> threads;
  for (int i = 0; i < server_threads; ++i) threads.emplace_back([&io] { io.run(); });
  for (auto& t : threads) t.join();
  return 0;
}
