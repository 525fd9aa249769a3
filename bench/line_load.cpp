// The load client of the line protocol. Opens --connections connections,
// keeps one request outstanding on each for --seconds and prints one line of
// key=value pairs for bench/run: round trips per second and latency
// percentiles. With --hold-idle it also holds that many idle connections
// open during the run and reports how much the server's resident memory
// (--server-pid) grew per idle connection.
//
// What one round trip is, per --mix:
//   game       a move posted for one player ("gamee" 05, which has no reply)
//              and polled by the other (06), in a room of the connection's
//              own, created and joined first: two lines, one reply
//   login      "conec" of the user --login/--password
//   news       "newsS" of a teacher (no reply) and then "zameV", which has
//              one: one durable add of an announcement per round trip
//   churn      as news, with a "newsD" between them that deletes every
//              announcement dated today: the file keeps its size, so what
//              readers of it see is the writers' doing, not a growing file
//   reference  one line, answered by the minimal line server's fixed text
//
// Every reply is checked against the first one of its connection; a wrong
// reply, a closed connection or a silent server ends the run with status 1.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "process_stats.hpp"

namespace velmira::bench {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using namespace asio::experimental::awaitable_operators;

// The client runs on as many threads as the server, so that neither side
// is starved by design.
constexpr int client_threads = 2;

struct options {
  std::uint16_t port = 0;
  std::string mix;
  int connections = 64;
  std::chrono::milliseconds duration = 10s;
  std::string login = "pupil500";
  std::string password = "pw500";
  int hold_idle = 0;
  pid_t server_pid = 0;
};

[[noreturn]] void fail(const std::string& why) {
  std::cerr << "line_load: " << why << "\n";
  std::exit(1);
}

void apply_option(options& o, std::string_view name, const std::string& value) {
  if (name == "--port") {
    o.port = static_cast<std::uint16_t>(std::stoi(value));
  } else if (name == "--mix") {
    o.mix = value;
  } else if (name == "--connections") {
    o.connections = std::stoi(value);
  } else if (name == "--seconds") {
    o.duration = std::chrono::milliseconds(std::llround(std::stod(value) * 1000));
  } else if (name == "--login") {
    o.login = value;
  } else if (name == "--password") {
    o.password = value;
  } else if (name == "--hold-idle") {
    o.hold_idle = std::stoi(value);
  } else if (name == "--server-pid") {
    o.server_pid = std::stoi(value);
  } else {
    fail("unknown option " + std::string(name));
  }
}

options parse_options(int argc, char** argv) {
  if (argc % 2 == 0) fail("options come in pairs: --name value");
  options o;
  for (int i = 1; i + 1 < argc; i += 2) apply_option(o, argv[i], argv[i + 1]);
  const bool known_mix =
      o.mix == "game" || o.mix == "login" || o.mix == "news" || o.mix == "churn" || o.mix == "reference";
  if (o.port == 0 || !known_mix || o.connections < 1) {
    fail("usage: line_load --port P --mix game|login|news|churn|reference [--connections N] [--seconds S] "
         "[--login L --password W] [--hold-idle N --server-pid PID]");
  }
  if (o.hold_idle > 0 && o.server_pid == 0) fail("--hold-idle needs --server-pid");
  return o;
}

// Thousands of connections need more descriptors than the usual soft limit.
void raise_descriptor_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

// One connection under load; one coroutine at a time works on it.
struct load_connection {
  explicit load_connection(asio::io_context& io) : socket(asio::make_strand(io)) {}
  tcp::socket socket;
  std::string request;   // one round trip
  std::string expected;  // its reply, as the first round trip got it
  std::vector<std::uint32_t> latencies_us;
  clock::time_point last_done;
};

// Replies carry no terminator, so a reply of unknown length is read until
// the server has been quiet for a while.
asio::awaitable<std::string> exchange_until_quiet(tcp::socket& socket, std::string lines) {
  co_await asio::async_write(socket, asio::buffer(lines), asio::use_awaitable);
  std::string reply;
  char chunk[4096];
  asio::steady_timer quiet(socket.get_executor());
  for (;;) {
    quiet.expires_after(reply.empty() ? clock::duration(5s) : clock::duration(200ms));
    auto got = co_await (socket.async_read_some(asio::buffer(chunk), asio::use_awaitable) ||
                         quiet.async_wait(asio::use_awaitable));
    if (got.index() == 1) break;
    reply.append(chunk, std::get<0>(got));
  }
  if (reply.empty()) fail("no reply to " + lines);
  co_return reply;
}

// The room is the connection's own, so its poll always finds the move just
// posted; the creator's and joiner's numbers are drawn by the server.
asio::awaitable<std::string> game_round_trip(tcp::socket& socket, std::string room) {
  auto created = co_await exchange_until_quiet(socket, "gameeUhit00" + room + ";\r\n");
  auto joined = co_await exchange_until_quiet(socket, "gameeUhit01" + room + ";\r\n");
  if (!created.starts_with("gameegdem;") || !joined.starts_with("gameegdem;")) {
    fail("room " + room + " not created and joined: " + created + " / " + joined);
  }
  const char creator = created[10];
  const char joiner = joined[10];
  co_return "gameeUhit05" + room + ";" + creator + ";e2-e4\r\n" + "gameeUhit06" + room + ";" + joiner + ";\r\n";
}

// Sixteen teachers, bench1 to bench16, write; several connections may share one.
std::string news_round_trip(int index) {
  const std::string n = std::to_string(index % 16 + 1);
  return "newsSUhitbench" + n + "\vpw" + n + "\vimg\v" + "Объявление нагрузки " + std::to_string(index) +
         "\v\r\nzameVUhitbench" + n + ";pw" + n + ";\r\n";
}

// The date the server stamps on today's records: dd.mm.yyyy, local time.
std::string today_as_recorded() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%d.%m.%Y", &local);
  return text;
}

std::string churn_round_trip(int index) {
  const std::string n = std::to_string(index % 16 + 1);
  auto round_trip = news_round_trip(index);
  auto deletion = "newsDUhitbench" + n + "\vpw" + n + "\v" + today_as_recorded() + "\v\r\n";
  return round_trip.insert(round_trip.find("zameV"), deletion);
}

asio::awaitable<std::string> round_trip_for(tcp::socket& socket, const options& o, int index) {
  if (o.mix == "game") co_return co_await game_round_trip(socket, "b" + std::to_string(getpid()) + "-" + std::to_string(index));
  if (o.mix == "login") co_return "conecUche" + o.login + ";" + o.password + ";\r\n";
  if (o.mix == "news") co_return news_round_trip(index);
  if (o.mix == "churn") co_return churn_round_trip(index);
  co_return std::string("ping\r\n");
}

// A first reply that is not the mix's own means the server was not set up
// as the benchmark expects (wrong users.ini, a room refused).
void check_first_reply(const options& o, const std::string& reply) {
  bool right = o.mix == "game"    ? reply == "gameehod;e2-e4"
               : o.mix == "login" ? reply.starts_with("conec")
               : o.mix == "news" || o.mix == "churn" ? reply == "zameV1"
                                  : !reply.empty();
  if (!right) fail("unexpected first reply for mix " + o.mix + ": " + reply);
}

asio::awaitable<void> prepare(load_connection& c, const options& o, int index, tcp::endpoint server) {
  co_await c.socket.async_connect(server, asio::use_awaitable);
  c.socket.set_option(tcp::no_delay(true));
  c.request = co_await round_trip_for(c.socket, o, index);
  c.expected = co_await exchange_until_quiet(c.socket, c.request);
  check_first_reply(o, c.expected);
}

asio::awaitable<void> round_trips_until(load_connection& c, clock::time_point stop) {
  std::string reply(c.expected.size(), '\0');
  while (clock::now() < stop) {
    auto sent = clock::now();
    co_await asio::async_write(c.socket, asio::buffer(c.request), asio::use_awaitable);
    co_await asio::async_read(c.socket, asio::buffer(reply), asio::use_awaitable);
    c.last_done = clock::now();
    if (reply != c.expected) fail("reply changed from " + c.expected + " to " + reply);
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(c.last_done - sent).count();
    c.latencies_us.push_back(static_cast<std::uint32_t>(std::min<long long>(us, UINT32_MAX)));
  }
}

using connections = std::vector<std::unique_ptr<load_connection>>;

// Runs one coroutine per connection to its end on the client's threads;
// the first failure ends the program.
void run_each(asio::io_context& io, connections& all,
              const std::function<asio::awaitable<void>(load_connection&, int)>& task) {
  std::mutex mutex;
  std::exception_ptr failure;
  for (int i = 0; i < static_cast<int>(all.size()); ++i) {
    asio::co_spawn(all[i]->socket.get_executor(), task(*all[i], i), [&](std::exception_ptr e) {
      std::lock_guard lock(mutex);
      if (e && !failure) failure = e;
    });
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < client_threads; ++t) threads.emplace_back([&io] { io.run(); });
  for (auto& t : threads) t.join();
  io.restart();
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      fail(e.what());
    }
  }
}

struct load_result {
  std::size_t round_trips = 0;
  double per_second = 0;
  double p50_us = 0;
  double p99_us = 0;
  double max_us = 0;
};

double percentile(const std::vector<std::uint32_t>& sorted, double q) {
  if (sorted.empty()) return 0;
  auto at = static_cast<std::size_t>(std::ceil(q * static_cast<double>(sorted.size()))) - 1;
  return sorted[std::min(at, sorted.size() - 1)];
}

load_result run_load(asio::io_context& io, connections& all, std::chrono::milliseconds duration) {
  for (auto& c : all) c->latencies_us.clear();
  const auto start = clock::now();
  const auto stop = start + duration;
  run_each(io, all, [stop](load_connection& c, int) { return round_trips_until(c, stop); });
  std::vector<std::uint32_t> latencies;
  auto last = start;
  for (auto& c : all) {
    latencies.insert(latencies.end(), c->latencies_us.begin(), c->latencies_us.end());
    last = std::max(last, c->last_done);
  }
  std::sort(latencies.begin(), latencies.end());
  double seconds = std::chrono::duration<double>(last - start).count();
  return {latencies.size(), seconds > 0 ? static_cast<double>(latencies.size()) / seconds : 0,
          percentile(latencies, 0.50), percentile(latencies, 0.99), percentile(latencies, 1.0)};
}

void print_load(const options& o, const load_result& r) {
  std::printf("mix=%s connections=%d seconds=%.1f round_trips=%zu per_second=%.0f p50_us=%.0f p99_us=%.0f max_us=%.0f",
              o.mix.c_str(), o.connections, std::chrono::duration<double>(o.duration).count(), r.round_trips,
              r.per_second, r.p50_us, r.p99_us, r.max_us);
}

std::vector<tcp::socket> open_idle(asio::io_context& io, const tcp::endpoint& server, int count) {
  std::vector<tcp::socket> idle;
  idle.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    idle.emplace_back(io);
    boost::system::error_code ec;
    idle.back().connect(server, ec);
    if (ec) fail("idle connection " + std::to_string(i) + ": " + ec.message());
  }
  return idle;
}

// Connecting only fills the listen queue; a connection costs the server
// memory once it has been accepted, which shows as one descriptor more.
void await_accepted(pid_t pid, std::size_t descriptors) {
  const auto give_up = clock::now() + 30s;
  while (open_descriptors(pid) < descriptors) {
    if (clock::now() > give_up) fail("the server did not accept every idle connection");
    std::this_thread::sleep_for(50ms);
  }
}

// An idle connection the server has closed reads as end of stream.
int closed_by_server(std::vector<tcp::socket>& idle) {
  int closed = 0;
  for (auto& s : idle) {
    s.non_blocking(true);
    char byte;
    boost::system::error_code ec;
    s.read_some(asio::buffer(&byte, 1), ec);
    if (ec != asio::error::would_block) ++closed;
  }
  return closed;
}

long resident_or_fail(pid_t pid) {
  auto kib = resident_kib(pid);
  if (!kib) fail("no process " + std::to_string(pid));
  return *kib;
}

// The server's memory is read after a warm-up, so that what it allocates
// once (buffers, pools, the first log lines) is not charged to the idle
// connections, and again after they have been held through a full run.
void run_with_idle(asio::io_context& io, connections& active, const options& o, const tcp::endpoint& server) {
  run_load(io, active, 1s);
  const long before_kib = resident_or_fail(o.server_pid);
  const std::size_t descriptors = open_descriptors(o.server_pid);
  auto idle = open_idle(io, server, o.hold_idle);
  await_accepted(o.server_pid, descriptors + static_cast<std::size_t>(o.hold_idle));
  auto result = run_load(io, active, o.duration);
  const long after_kib = resident_or_fail(o.server_pid);
  print_load(o, result);
  std::printf(" idle=%d rss_before_kib=%ld rss_after_kib=%ld bytes_per_idle=%.0f idle_closed=%d\n", o.hold_idle,
              before_kib, after_kib, static_cast<double>(after_kib - before_kib) * 1024.0 / o.hold_idle,
              closed_by_server(idle));
}

}  // namespace
}  // namespace velmira::bench

int main(int argc, char** argv) {
  using namespace velmira::bench;
  auto o = parse_options(argc, argv);
  raise_descriptor_limit();
  asio::io_context io;
  const tcp::endpoint server(asio::ip::make_address("127.0.0.1"), o.port);
  connections all;
  for (int i = 0; i < o.connections; ++i) all.push_back(std::make_unique<load_connection>(io));
  run_each(io, all, [&](load_connection& c, int i) { return prepare(c, o, i, server); });
  if (o.hold_idle > 0) {
    run_with_idle(io, all, o, server);
  } else {
    print_load(o, run_load(io, all, o.duration));
    std::printf("\n");
  }
  return 0;
}
