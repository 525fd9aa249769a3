// Start-up of the real server: the time from exec to its TCP port
// accepting, and its resident memory once idle. Each run starts the binary
// on the data directory, connects as soon as the port accepts, checks that a
// request is served, waits a second, reads VmRSS and stops the server with
// SIGTERM. Prints one line of key=value pairs for bench/run.
//
//   startup_probe --binary PATH --data-dir DIR --port P [--runs N]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "process_stats.hpp"

extern char** environ;

namespace velmira::bench {
namespace {

using clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct options {
  std::string binary;
  std::string data_dir;
  std::uint16_t port = 0;
  int runs = 5;
};

[[noreturn]] void fail(const std::string& why) {
  std::cerr << "startup_probe: " << why << "\n";
  std::exit(1);
}

options parse_options(int argc, char** argv) {
  options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string_view name = argv[i];
    std::string value = argv[i + 1];
    if (name == "--binary") o.binary = value;
    else if (name == "--data-dir") o.data_dir = value;
    else if (name == "--port") o.port = static_cast<std::uint16_t>(std::stoi(value));
    else if (name == "--runs") o.runs = std::stoi(value);
    else fail("unknown option " + std::string(name));
  }
  if (o.binary.empty() || o.data_dir.empty() || o.port == 0 || o.runs < 1) {
    fail("usage: startup_probe --binary PATH --data-dir DIR --port P [--runs N]");
  }
  return o;
}

// The server's own output would only interleave with the table.
pid_t spawn_quietly(const options& o) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args = {const_cast<char*>(o.binary.c_str()), const_cast<char*>("--data-dir"),
                             const_cast<char*>(o.data_dir.c_str()), const_cast<char*>("--no-console"), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, o.binary.c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) fail("cannot start " + o.binary);
  return pid;
}

// A connected socket, or -1 while nothing listens on the port.
int try_connect(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  ::close(fd);
  return -1;
}

int connect_when_accepting(std::uint16_t port, pid_t server) {
  const auto give_up = clock::now() + 5s;
  for (;;) {
    if (int fd = try_connect(port); fd >= 0) return fd;
    if (clock::now() > give_up || waitpid(server, nullptr, WNOHANG) == server) {
      fail("the server did not accept on port " + std::to_string(port));
    }
    std::this_thread::sleep_for(100us);
  }
}

// The connection is used and held a while, so the measure is of a port
// that serves, not of one that merely queues connections.
void check_served(int fd) {
  constexpr std::string_view request = "conecZvon\r\n";
  if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) fail("cannot send");
  timeval limit{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  char reply[5];
  if (::recv(fd, reply, sizeof reply, MSG_WAITALL) != sizeof reply || std::string_view(reply, 5) != "conec") {
    fail("the server did not answer a log-in");
  }
}

void stop_server(pid_t pid) {
  ::kill(pid, SIGTERM);
  const auto give_up = clock::now() + 5s;
  while (waitpid(pid, nullptr, WNOHANG) != pid) {
    if (clock::now() > give_up) {
      ::kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      fail("the server did not stop on SIGTERM");
    }
    std::this_thread::sleep_for(10ms);
  }
}

struct run_result {
  double startup_ms;
  long idle_kib;
};

run_result measure_once(const options& o) {
  const auto started = clock::now();
  pid_t pid = spawn_quietly(o);
  int fd = connect_when_accepting(o.port, pid);
  const auto accepting = clock::now();
  check_served(fd);
  ::close(fd);
  std::this_thread::sleep_for(1s);
  auto kib = resident_kib(pid);
  stop_server(pid);
  if (!kib) fail("the server ended while idle");
  return {std::chrono::duration<double, std::milli>(accepting - started).count(), *kib};
}

template <class T>
T median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace
}  // namespace velmira::bench

int main(int argc, char** argv) {
  using namespace velmira::bench;
  auto o = parse_options(argc, argv);
  std::vector<double> startup_ms;
  std::vector<long> idle_kib;
  for (int i = 0; i < o.runs; ++i) {
    auto r = measure_once(o);
    startup_ms.push_back(r.startup_ms);
    idle_kib.push_back(r.idle_kib);
  }
  std::printf("runs=%d startup_ms_median=%.1f startup_ms_max=%.1f idle_rss_kib_median=%ld idle_rss_kib_max=%ld\n",
              o.runs, median(startup_ms), *std::max_element(startup_ms.begin(), startup_ms.end()), median(idle_kib),
              *std::max_element(idle_kib.begin(), idle_kib.end()));
  return 0;
}
