// The listeners on their own: the connection cap, failed accepts, keep-alive
// probes, closing on stop, and the HTTP session's keep-alive, HEAD, bodies,
// limits, idle timeout and failure reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <filesystem>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include "core/http_listener.hpp"
#include "support/case_name.hpp"
#include "support/stderr_capture.hpp"
#include "core/tcp_listener.hpp"
#include "support/eventually.hpp"
#include "support/line_client.hpp"

namespace velmira {
namespace {

namespace asio = boost::asio;
using testing::eventually;
using testing::line_client;

// Listeners under test take a port the kernel picks, on loopback only.
const asio::ip::address loopback = asio::ip::address_v4::loopback();

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

auto idle_connections() {
  return [](asio::ip::tcp::socket s, std::function<void()> on_end) -> std::shared_ptr<connection> {
    return std::make_shared<idle_connection>(std::move(s), std::move(on_end));
  };
}

TEST(TcpListener, ConnectionPastTheCapIsClosedAndLogged) {
  fixed_clock_log l;
  io_pool pool;
  {
    tcp_listener listener(pool.io, idle_connections(), l.log, "TCP", {.max_connections = 3});
    ASSERT_FALSE(listener.start(loopback, 0));
    const auto port = listener.local_port();
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

TEST(TcpListener, ConnectionsRefusedAtTheCapAreLoggedOnceWithTheirCountWhenItClears) {
  fixed_clock_log l;
  io_pool pool;
  tcp_listener listener(pool.io, idle_connections(), l.log, "TCP", {.max_connections = 2});
  ASSERT_FALSE(listener.start(asio::ip::make_address("127.0.0.1"), 0));
  const auto port = listener.local_port();
  std::vector<std::unique_ptr<line_client>> held;
  for (int i = 0; i < 2; ++i) held.push_back(std::make_unique<line_client>(port));
  ASSERT_TRUE(eventually([&] { return listener.open_connections() == 2; }));
  for (int i = 0; i < 5; ++i) {
    line_client refused(port);
    EXPECT_TRUE(refused.closed_by_peer()) << i;
  }
  EXPECT_EQ(l.log.lines(), (std::vector<std::string>{
                               "[02.01.2024] 3:04:05: TCP: достигнут предел одновременных подключений, подключение закрыто"}));

  held.pop_back();
  ASSERT_TRUE(eventually([&] { return listener.open_connections() == 1; }));
  line_client accepted(port);
  ASSERT_TRUE(eventually([&] { return l.log.lines().size() == 2; }));
  EXPECT_FALSE(accepted.closed_by_peer(std::chrono::milliseconds(100)));
  EXPECT_EQ(l.log.lines().back(),
            "[02.01.2024] 3:04:05: TCP: подключения снова принимаются; закрыто из-за предела: 5");
  listener.stop();
}

TEST(TcpListener, StartOnATakenPortFailsAndStaysStopped) {
  fixed_clock_log l;
  io_pool pool;
  tcp_listener first(pool.io, idle_connections(), l.log, "TCP");
  tcp_listener second(pool.io, idle_connections(), l.log, "TCP");
  ASSERT_FALSE(first.start(loopback, 0));
  const auto port = first.local_port();
  EXPECT_TRUE(second.start(loopback, port));
  EXPECT_FALSE(second.running());
  first.stop();
  EXPECT_FALSE(second.start(loopback, port));  // the port is free again at once
  second.stop();
}

int socket_option(int fd, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  ::getsockopt(fd, level, name, &value, &size);
  return value;
}

// What the kernel was told about an accepted socket's keep-alive probes.
struct probe_settings {
  int enabled, idle_seconds, interval_seconds, probes;
  bool operator==(const probe_settings&) const = default;
};

std::ostream& operator<<(std::ostream& os, const probe_settings& p) {
  return os << "{" << p.enabled << ", " << p.idle_seconds << ", " << p.interval_seconds << ", " << p.probes << "}";
}

TEST(TcpListener, KeepAliveProbesAreSetOnAcceptedSocketsWhenAsked) {
  for (bool keep_alive : {true, false}) {
    fixed_clock_log l;
    io_pool pool;
    std::promise<probe_settings> seen;
    tcp_listener listener(
        pool.io,
        [&seen](asio::ip::tcp::socket s, std::function<void()> on_end) -> std::shared_ptr<connection> {
          const int fd = s.native_handle();
          seen.set_value({socket_option(fd, SOL_SOCKET, SO_KEEPALIVE), socket_option(fd, IPPROTO_TCP, TCP_KEEPIDLE),
                          socket_option(fd, IPPROTO_TCP, TCP_KEEPINTVL),
                          socket_option(fd, IPPROTO_TCP, TCP_KEEPCNT)});
          return std::make_shared<idle_connection>(std::move(s), std::move(on_end));
        },
        l.log, "TCP", {.keep_alive = keep_alive});
    ASSERT_FALSE(listener.start(loopback, 0));
    const auto port = listener.local_port();
    line_client client(port);
    auto settings = seen.get_future();
    ASSERT_EQ(settings.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    if (keep_alive) {
      EXPECT_EQ(settings.get(), (probe_settings{1, static_cast<int>(limits::tcp_keepalive_idle.count()),
                                                static_cast<int>(limits::tcp_keepalive_interval.count()),
                                                limits::tcp_keepalive_probes}));
    } else {
      EXPECT_EQ(settings.get().enabled, 0);
    }
    listener.stop();
  }
}

// The soft limit on this process's descriptors lowered so that only a few
// numbers below it are free, and put back when the object goes. A new
// descriptor takes the lowest free number, and only numbers below the
// limit; those open above it stay open.
class few_free_descriptors {
 public:
  static constexpr int free_numbers = 8;

  few_free_descriptors() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    std::set<int> open;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      open.insert(std::stoi(entry.path().filename().string()));
    }
    int limit = 0;
    for (int free = 0; free < free_numbers; ++limit) {
      if (!open.contains(limit)) ++free;
    }
    rlimit lowered{static_cast<rlim_t>(limit), saved_.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~few_free_descriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

std::size_t accept_failures_logged(const event_log& log) {
  auto lines = log.lines();
  return std::ranges::count_if(lines, [](const std::string& line) {
    return line.ends_with(": TCP: ошибка приема подключений (Too many open files), прием приостановлен");
  });
}

// Connects clients until the listener, out of descriptors, fails to accept
// one. When the last free descriptor goes to the listener instead, the
// spare is given up so that the next client can take it; a spare kept
// stays open, or the listener would take it and end the episode.
void connect_until_accepting_fails(tcp_listener& listener, std::uint16_t port, const event_log& log,
                                   std::vector<std::unique_ptr<line_client>>& clients, int& spare) {
  const std::size_t failures_before = accept_failures_logged(log);
  for (int attempt = 0; attempt < 100 && accept_failures_logged(log) == failures_before; ++attempt) {
    try {
      clients.push_back(std::make_unique<line_client>(port));
    } catch (const std::runtime_error&) {
      ASSERT_GE(spare, 0) << "no descriptor left for a client";
      ::close(std::exchange(spare, -1));
      continue;
    }
    eventually([&] {
      return listener.open_connections() == clients.size() || accept_failures_logged(log) > failures_before;
    });
  }
  ASSERT_EQ(accept_failures_logged(log), failures_before + 1);
}

std::chrono::microseconds process_cpu_time() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto micros = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
  return micros(usage.ru_utime) + micros(usage.ru_stime);
}

// Out of descriptors, a connection waits in the backlog and keeps the
// acceptor ready: accepting again at once would fail at once, for ever.
TEST(TcpListener, AFailedAcceptPausesTheListenerAndIsLoggedOncePerEpisode) {
#ifdef __SANITIZE_ADDRESS__
  // Its dynamic-type checks probe memory through a pipe: with the
  // descriptors taken away they fail and report a fault that is not there.
  GTEST_SKIP() << "the sanitizers' runtime needs the descriptors this test takes away";
#endif
  fixed_clock_log l;
  io_pool pool;
  tcp_listener listener(pool.io, idle_connections(), l.log, "TCP");
  ASSERT_FALSE(listener.start(loopback, 0));
  const auto port = listener.local_port();
  std::vector<std::unique_ptr<line_client>> clients;
  few_free_descriptors limit;
  int spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

  ASSERT_NO_FATAL_FAILURE(connect_until_accepting_fails(listener, port, l.log, clients, spare));
  // Half a second of failing accepts: a listener retrying without a pause
  // keeps its thread busy all that time; one pausing wakes five times.
  const auto cpu_before = process_cpu_time();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(process_cpu_time() - cpu_before, std::chrono::milliseconds(50));
  EXPECT_EQ(accept_failures_logged(l.log), 1u);

  // Closed connections free descriptors: the waiting one is taken in,
  // which ends the episode, and the next failure is logged again.
  if (spare >= 0) ::close(std::exchange(spare, -1));
  clients.erase(clients.begin(), clients.begin() + 2);
  EXPECT_TRUE(eventually([&] { return listener.open_connections() == clients.size(); }));
  spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_NO_FATAL_FAILURE(connect_until_accepting_fails(listener, port, l.log, clients, spare));
  EXPECT_EQ(accept_failures_logged(l.log), 2u);
  if (spare >= 0) ::close(spare);
  listener.stop();
}

class echo_target final : public immediate_http_handler {
 public:
  http_reply handle(const http_request& r) override {
    return {200, "text/plain", r.method + " " + r.target + " [" + r.authorization + "]", {{"Cache-Control", "no-cache"}}};
  }
};

// A started listener with a short idle timeout over `Handler`.
template <class Handler>
class started_http_listener : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(listener.start("127.0.0.1", 0));
    port = listener.local_port();
  }
  void TearDown() override { listener.stop(); }

  fixed_clock_log l;
  io_pool pool;
  Handler handler;
  http_listener listener{pool.io, handler, l.log, {std::chrono::milliseconds(300), 100}};
  std::uint16_t port = 0;
};

class HttpListener : public started_http_listener<echo_target> {};

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

// The echo target's reply to a GET of `target` on HTTP/1.1.
std::string echo_reply(const std::string& target) {
  const std::string body = "GET " + target + " []";
  return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nCache-Control: no-cache\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string get_with_body(const std::string& body) {
  return "GET /a HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string chunk(const std::string& bytes) {
  char size[16];
  std::snprintf(size, sizeof size, "%zx", bytes.size());
  return size + ("\r\n" + bytes + "\r\n");
}

// The default idle timeout: a connection closed within a test was closed
// for what it sent, not for going quiet.
class HttpListenerBodies : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(listener.start("127.0.0.1", 0));
    port = listener.local_port();
  }
  void TearDown() override { listener.stop(); }

  fixed_clock_log l;
  io_pool pool;
  echo_target handler;
  http_listener listener{pool.io, handler, l.log};
  std::uint16_t port = 0;
};

struct request_case {
  std::string name;
  std::string request;  // of "/a", followed on the connection by a GET of "/b"
};

void PrintTo(const request_case& c, std::ostream* os) { *os << c.name; }

class HttpListenerAnswers : public HttpListenerBodies, public ::testing::WithParamInterface<request_case> {};

// The body is read and dropped, and the connection goes on with the next
// request: a body taken for a request would add a reply or end it.
TEST_P(HttpListenerAnswers, AndKeepsTheConnectionForTheNextRequest) {
  line_client c(port);
  c.send(GetParam().request + "GET /b HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::string expected = echo_reply("/a") + echo_reply("/b");
  EXPECT_EQ(c.read_bytes(expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, HttpListenerAnswers,
    ::testing::Values(
        request_case{"TenByteBody", get_with_body("0123456789")},
        request_case{"BodyThatLooksLikeARequest", get_with_body("GET /evil HTTP/1.1\r\nHost: x\r\n\r\n")},
        request_case{"BodyAtTheCap", get_with_body(std::string(limits::max_http_body, 'b'))},
        request_case{"ChunkedBody", "GET /a HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                        chunk("hello") + chunk(" world") + "0\r\n\r\n"},
        request_case{"LeadingCrLf", "\r\nGET /a HTTP/1.1\r\nHost: x\r\n\r\n"},
        request_case{"LeadingLf", "\nGET /a HTTP/1.1\r\nHost: x\r\n\r\n"},
        // The next request then begins with the empty line.
        request_case{"CrLfAfterABody", get_with_body("0123456789") + "\r\n"}),
    testing::by_name);

class HttpListenerRefuses : public HttpListenerBodies, public ::testing::WithParamInterface<request_case> {};

TEST_P(HttpListenerRefuses, ByClosingTheConnectionWithoutAReply) {
  line_client c(port);
  c.send(GetParam().request);
  EXPECT_EQ(c.read_for(std::chrono::seconds(5)), "");
  EXPECT_TRUE(c.closed_by_peer(std::chrono::milliseconds(100)));
}

const std::string half_the_cap(limits::max_http_body / 2, 'b');

INSTANTIATE_TEST_SUITE_P(
    Requests, HttpListenerRefuses,
    ::testing::Values(
        request_case{"LengthPastTheCap", "GET /a HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                                             std::to_string(limits::max_http_body + 1) + "\r\n\r\n"},
        request_case{"ChunksAddingUpPastTheCap", "GET /a HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                                     chunk(half_the_cap) + chunk(half_the_cap) + chunk("b") +
                                                     "0\r\n\r\n"},
        // One empty line is forgiven, not any number of them.
        request_case{"TwoEmptyLines", "\r\n\r\nGET /a HTTP/1.1\r\nHost: x\r\n\r\n"}),
    testing::by_name);

TEST_F(HttpListenerBodies, AnEmptyLineArrivingInTwoPiecesIsSkipped) {
  line_client c(port);
  c.send("\r");
  EXPECT_EQ(c.read_for(std::chrono::milliseconds(100)), "");
  c.send("\nGET /a HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(c.read_bytes(echo_reply("/a").size()), echo_reply("/a"));
}

class failing_target final : public immediate_http_handler {
 public:
  http_reply handle(const http_request&) override { throw std::runtime_error("no page today"); }
};

class HttpListenerFailures : public started_http_listener<failing_target> {
 protected:
  // Opens a connection and waits until the listener holds it.
  std::unique_ptr<line_client> connect() {
    auto c = std::make_unique<line_client>(port);
    EXPECT_TRUE(eventually([&] { return listener.open_connections() == 1; }));
    return c;
  }
  bool all_ended() {
    return eventually([&] { return listener.open_connections() == 0; });
  }

  testing::stderr_capture captured;
};

// A connection reports before it ends, so once none is open, whatever it
// had to say is in the pipe.
TEST_F(HttpListenerFailures, OnlyAConnectionEndingOnAnErrorIsReported) {
  connect().reset();  // the client closes
  ASSERT_TRUE(all_ended());
  auto timed_out = connect();
  ASSERT_TRUE(all_ended());
  auto stopped = connect();
  stopped->send("GET / HTTP/1.1\r\n");
  listener.stop();
  ASSERT_TRUE(all_ended());
  EXPECT_EQ(captured.until(""), "");

  ASSERT_FALSE(listener.start("127.0.0.1", port));
  asio::io_context io;
  asio::ip::tcp::socket reset(io);
  reset.connect({asio::ip::address_v4::loopback(), port});
  ASSERT_TRUE(eventually([&] { return listener.open_connections() == 1; }));
  asio::write(reset, asio::buffer(std::string("GET / HTTP/1.1\r\n")));
  reset.set_option(asio::socket_base::linger(true, 0));
  reset.close();
  ASSERT_TRUE(all_ended());
  EXPECT_EQ(captured.until(""), "velmira: HTTP read: Connection reset by peer\n");
}

TEST_F(HttpListenerFailures, AHandlerThatThrowsIsReportedAndAnsweredWithAnError) {
  line_client c(port);
  c.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::string expected = "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html; charset=utf-8\r\n"
                               "Content-Length: 0\r\n\r\n";
  EXPECT_EQ(c.read_bytes(expected.size()), expected);
  EXPECT_EQ(captured.until("\n"), "velmira: HTTP request: no page today\n");
}

TEST(DefaultHttpReply, IsTheOkPage) {
  auto r = default_http_reply();
  EXPECT_EQ(r.status, 200u);
  EXPECT_EQ(r.content_type, "text/html; charset=utf-8");
  EXPECT_EQ(r.body, "<HTML><BODY><B>200 OK</B></BODY></HTML>");
}

// Counts the requests of each connection in its memo and answers with the
// count, its body shared as a cache's would be.
class counting_target final : public immediate_http_handler {
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
  void SetUp() override {
    ASSERT_FALSE(listener.start("127.0.0.1", 0));
    port = listener.local_port();
  }
  void TearDown() override { listener.stop(); }

  static std::string reply_with(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
  }

  fixed_clock_log l;
  io_pool pool;
  counting_target handler;
  http_listener listener{pool.io, handler, l.log, {std::chrono::milliseconds(1000), 100}};
  std::uint16_t port = 0;
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
    testing::by_name);

}  // namespace
}  // namespace velmira

namespace velmira {
namespace {

// Keeps the last request it saw, for the fields a handler is given.
class recording_target final : public immediate_http_handler {
 public:
  http_reply handle(const http_request& r) override {
    std::lock_guard lock(mutex_);
    last_ = {r.method, r.target, r.authorization, nullptr, r.host, r.cookie, r.x_velmira, r.content_type, r.body, r.peer};
    return {200, "text/plain", "ok", {}};
  }
  http_request last() {
    std::lock_guard lock(mutex_);
    return {last_.method, last_.target,       last_.authorization, nullptr,    last_.host,
            last_.cookie, last_.x_velmira, last_.content_type,  last_.body, last_.peer};
  }

 private:
  std::mutex mutex_;
  http_request last_;
};

TEST(HttpListenerOnOneAddress, BindsAFreePortThereAndHandsOnTheRequestsHeadersAndBody) {
  fixed_clock_log l;
  io_pool pool;
  recording_target handler;
  http_listener listener(pool.io, handler, l.log);
  ASSERT_FALSE(listener.start("127.0.0.1", 0));
  const auto port = listener.local_port();
  ASSERT_NE(port, 0);

  line_client c(port);
  c.send("POST /api/page HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nCookie: velmira_session=abc\r\nX-Velmira: 1\r\nContent-Type: application/json\r\n"
         "Content-Length: 17\r\n\r\n{\"page\":\"users\"}\n");
  EXPECT_NE(c.read_for(std::chrono::milliseconds(500)).find("200 OK"), std::string::npos);
  auto seen = handler.last();
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.host, "127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(seen.cookie, "velmira_session=abc");
  EXPECT_EQ(seen.x_velmira, "1");
  EXPECT_EQ(seen.content_type, "application/json");
  EXPECT_EQ(seen.body, "{\"page\":\"users\"}\n");
  EXPECT_EQ(seen.peer, "127.0.0.1");
  listener.stop();
  EXPECT_EQ(listener.local_port(), 0);
}

TEST(HttpListenerOnOneAddress, AnAddressThatIsNoAddressIsAnError) {
  fixed_clock_log l;
  io_pool pool;
  recording_target handler;
  http_listener listener(pool.io, handler, l.log);
  EXPECT_TRUE(listener.start("localhost", 0));
}

}  // namespace
}  // namespace velmira
