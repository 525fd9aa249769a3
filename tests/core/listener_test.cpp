// The listeners on their own: the connection cap, closing on stop, and the
// HTTP session's keep-alive, HEAD, limits and idle timeout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <thread>

#include "core/http_listener.hpp"
#include "core/tcp_listener.hpp"
#include "support/line_client.hpp"

namespace velmira {
namespace {

namespace asio = boost::asio;
using testing::line_client;

// A connection that does nothing but stay open until closed.
class idle_connection final : public connection, public std::enable_shared_from_this<idle_connection> {
 public:
  idle_connection(asio::ip::tcp::socket s, std::function<void()> on_end)
      : socket_(std::move(s)), on_end_(std::move(on_end)) {}
  ~idle_connection() override { on_end_(); }
  void start() override {
    socket_.async_wait(asio::socket_base::wait_read, [self = shared_from_this()](auto) { self->socket_.close(); });
  }
  void close() override {
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->socket_.close(); });
  }

 private:
  asio::ip::tcp::socket socket_;
  std::function<void()> on_end_;
};

class io_pool {
 public:
  io_pool() : thread_([this] { io.run(); }) {}
  ~io_pool() {
    work_.reset();
    io.stop();
    thread_.join();
  }
  asio::io_context io;

 private:
  asio::executor_work_guard<asio::io_context::executor_type> work_{io.get_executor()};
  std::thread thread_;
};

struct fixed_clock_log {
  manual_clock clock{make_local(2024, 1, 2, 3, 4, 5)};
  log_switches switches;
  event_log log{clock, switches};
};

TEST(TcpListener, ConnectionPastTheCapIsClosedAndLogged) {
  fixed_clock_log l;
  io_pool pool;
  {
    tcp_listener listener(
        pool.io,
        [](asio::ip::tcp::socket s, std::function<void()> on_end) -> std::shared_ptr<connection> {
          return std::make_shared<idle_connection>(std::move(s), std::move(on_end));
        },
        l.log, "TCP", 3);
    auto port = testing::free_port();
    ASSERT_FALSE(listener.start(port));
    std::vector<std::unique_ptr<line_client>> held;
    for (int i = 0; i < 3; ++i) held.push_back(std::make_unique<line_client>(port));
    line_client refused(port);
    EXPECT_TRUE(refused.closed_by_peer());
    EXPECT_FALSE(held[0]->closed_by_peer(std::chrono::milliseconds(100)));
    EXPECT_THAT(l.log.lines(), ::testing::ElementsAre(::testing::HasSubstr("TCP")));

    listener.stop();
    for (auto& c : held) EXPECT_TRUE(c->closed_by_peer());
    EXPECT_EQ(listener.open_connections(), 0u);
  }
}

TEST(TcpListener, StartOnATakenPortFailsAndStaysStopped) {
  fixed_clock_log l;
  io_pool pool;
  auto factory = [](asio::ip::tcp::socket s, std::function<void()> on_end) -> std::shared_ptr<connection> {
    return std::make_shared<idle_connection>(std::move(s), std::move(on_end));
  };
  tcp_listener first(pool.io, factory, l.log, "TCP");
  tcp_listener second(pool.io, factory, l.log, "TCP");
  auto port = testing::free_port();
  ASSERT_FALSE(first.start(port));
  EXPECT_TRUE(second.start(port));
  EXPECT_FALSE(second.running());
  first.stop();
  EXPECT_FALSE(second.start(port));  // the port is free again at once
  second.stop();
}

class echo_target final : public http_handler {
 public:
  http_reply handle(const http_request& r) override {
    return {200, "text/plain", r.method + " " + r.target + " [" + r.authorization + "]", {{"Cache-Control", "no-cache"}}};
  }
};

class HttpListener : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(listener.start(port)); }
  void TearDown() override { listener.stop(); }

  fixed_clock_log l;
  io_pool pool;
  echo_target handler;
  http_listener listener{pool.io, handler, l.log, {std::chrono::milliseconds(300), 100}};
  std::uint16_t port = testing::free_port();
};

TEST_F(HttpListener, KeepAliveServesRequestsInTurnOnOneConnection) {
  line_client c(port);
  c.send("GET /a HTTP/1.1\r\nHost: x\r\nAuthorization: Basic eDp5\r\n\r\nGET /b%20c HTTP/1.1\r\nHost: x\r\n\r\n");
  auto got = c.read_bytes(1000, std::chrono::milliseconds(1000));
  EXPECT_THAT(got, ::testing::HasSubstr("GET /a [Basic eDp5]"));
  EXPECT_THAT(got, ::testing::HasSubstr("GET /b%20c []"));
  EXPECT_THAT(got, ::testing::HasSubstr("Content-Type: text/plain\r\n"));
  EXPECT_THAT(got, ::testing::HasSubstr("Cache-Control: no-cache\r\n"));
}

TEST_F(HttpListener, HeadSendsTheLengthWithoutTheBody) {
  line_client c(port);
  c.send("HEAD /abc HTTP/1.1\r\nHost: x\r\n\r\n");
  auto got = c.read_bytes(1000, std::chrono::milliseconds(500));
  EXPECT_THAT(got, ::testing::HasSubstr("Content-Length: 12\r\n"));
  EXPECT_THAT(got, ::testing::EndsWith("\r\n\r\n"));
}

TEST_F(HttpListener, OversizedHeaderEndsTheConnection) {
  line_client c(port);
  c.send("GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(9000, 'a') + "\r\n\r\n");
  EXPECT_TRUE(c.closed_by_peer());
}

TEST_F(HttpListener, IdleConnectionIsClosedAfterTheTimeout) {
  line_client c(port);
  EXPECT_TRUE(c.closed_by_peer(std::chrono::seconds(5)));
}

TEST(DefaultHttpReply, IsTheOkPage) {
  auto r = default_http_reply();
  EXPECT_EQ(r.status, 200u);
  EXPECT_EQ(r.content_type, "text/html; charset=utf-8");
  EXPECT_EQ(r.body, "<HTML><BODY><B>200 OK</B></BODY></HTML>");
}

// Counts the requests of each connection in its memo and answers with the
// count, its body shared as a cache's would be.
class counting_target final : public http_handler {
 public:
  http_reply handle(const http_request& r) override {
    auto reply = serve(r);
    reply.body = *reply.shared_body;
    reply.shared_body = nullptr;
    return reply;
  }
  http_reply serve(const http_request& r) override {
    struct count final : http_connection_memo {
      int requests = 0;
    };
    if (!*r.memo) r.memo->reset(new count);
    auto& memo = dynamic_cast<count&>(**r.memo);
    http_reply reply{200, "text/plain", "", {}};
    reply.shared_body = std::make_shared<const std::string>("request " + std::to_string(++memo.requests));
    return reply;
  }
};

class HttpListenerMemo : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(listener.start(port)); }
  void TearDown() override { listener.stop(); }

  static std::string reply_with(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
  }

  fixed_clock_log l;
  io_pool pool;
  counting_target handler;
  http_listener listener{pool.io, handler, l.log, {std::chrono::milliseconds(1000), 100}};
  std::uint16_t port = testing::free_port();
};

TEST_F(HttpListenerMemo, ASharedBodyIsSentAndEachConnectionHasItsOwnMemo) {
  line_client first(port);
  first.send("GET /a HTTP/1.1\r\nHost: x\r\n\r\nGET /b HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::string two = reply_with("request 1") + reply_with("request 2");
  EXPECT_EQ(first.read_bytes(two.size()), two);

  line_client second(port);
  second.send("HEAD /a HTTP/1.1\r\nHost: x\r\n\r\nGET /b HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n\r\n";
  const std::string after_head = head + reply_with("request 2");
  EXPECT_EQ(second.read_bytes(after_head.size()), after_head);
}

// The idle timeout counts from the last request, not from the connection's
// start: a client that keeps asking is never cut off.
TEST_F(HttpListenerMemo, AConnectionInUseOutlivesTheIdleTimeout) {
  line_client c(port);
  for (int i = 1; i <= 4; ++i) {
    c.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::string expected = reply_with("request " + std::to_string(i));
    ASSERT_EQ(c.read_bytes(expected.size()), expected) << "request " << i;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
}

TEST_F(HttpListenerMemo, ARequestCutOffMidHeaderIsClosedAfterTheTimeout) {
  line_client c(port);
  c.send("GET / HTTP/1.1\r\nHost: x\r\n");
  EXPECT_TRUE(c.closed_by_peer(std::chrono::seconds(10)));
}

// The status line and the Connection field follow the request's version
// and wishes; the bytes are those Beast's own serializer writes.
struct connection_case {
  std::string name;
  std::string request;
  std::string connection_field;  // between the handler's fields and the length
  bool stays_open;
};

void PrintTo(const connection_case& c, std::ostream* os) { *os << c.name; }

class HttpListenerConnection : public HttpListener, public ::testing::WithParamInterface<connection_case> {};

TEST_P(HttpListenerConnection, HeaderBytesFollowTheRequest) {
  const auto& c = GetParam();
  line_client client(port);
  client.send(c.request + "\r\n");
  const std::string body = "GET /a []";
  const std::string version = c.request.substr(c.request.find("HTTP/"), 8);
  const std::string expected = version + " 200 OK\r\nContent-Type: text/plain\r\nCache-Control: no-cache\r\n" +
                               c.connection_field + "Content-Length: 9\r\n\r\n" + body;
  EXPECT_EQ(client.read_bytes(expected.size()), expected);
  EXPECT_EQ(client.closed_by_peer(std::chrono::milliseconds(c.stays_open ? 100 : 5000)), !c.stays_open);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, HttpListenerConnection,
    ::testing::Values(
        connection_case{"Http11", "GET /a HTTP/1.1\r\nHost: x\r\n", "", true},
        connection_case{"Http11Close", "GET /a HTTP/1.1\r\nHost: x\r\nConnection: close\r\n", "Connection: close\r\n",
                        false},
        connection_case{"Http10", "GET /a HTTP/1.0\r\n", "", false},
        connection_case{"Http10KeepAlive", "GET /a HTTP/1.0\r\nConnection: keep-alive\r\n",
                        "Connection: keep-alive\r\n", true}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace velmira
