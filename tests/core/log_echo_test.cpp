#include "core/log_echo.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <sstream>
#include <stdexcept>
#include <string>

#include "core/clock.hpp"
#include "core/event_log.hpp"

namespace velmira {
namespace {

using namespace std::chrono_literals;

// A pipe whose reader the test plays; with one page of buffer it fills after
// a few dozen lines.
class test_pipe {
 public:
  explicit test_pipe(int size) {
    if (::pipe2(fds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    ::fcntl(fds_[1], F_SETPIPE_SZ, size);
  }
  ~test_pipe() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int write_end() const { return fds_[1]; }

  // Reads until `done` holds for what has arrived or the time is up.
  std::string read_until(const std::function<bool(const std::string&)>& done, std::chrono::seconds limit = 30s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done(text_)) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !read_some(static_cast<int>(left.count()))) break;
    }
    return text_;
  }
  // What has arrived by now, without waiting.
  std::string read_available() {
    while (read_some(0)) {
    }
    return text_;
  }

 private:
  bool read_some(int timeout_ms) {
    pollfd p{fds_[0], POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return false;
    char buffer[65536];
    ssize_t n = ::read(fds_[0], buffer, sizeof buffer);
    if (n <= 0) return false;
    text_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  int fds_[2];
  std::string text_;
};

// What the reader got: numbered lines, in order, and the reports of lines dropped.
struct echo_tally {
  int echoed = 0;
  int dropped = 0;
  int reports = 0;
  bool in_order = true;
  std::string unexpected;
};

constexpr std::string_view numbered_prefix = "[25.12.2023] 9:05:07: line ";

echo_tally tally(const std::string& text) {
  const std::string report_start = "velmira: ";
  const std::string report_end = " log lines were not echoed: standard output was blocked";
  echo_tally t;
  int last = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(numbered_prefix)) {
      int n = std::stoi(line.substr(numbered_prefix.size()));
      t.in_order = t.in_order && n > last;
      last = n;
      ++t.echoed;
    } else if (line.starts_with(report_start) && line.ends_with(report_end)) {
      t.dropped += std::stoi(line.substr(report_start.size()));
      ++t.reports;
    } else {
      t.unexpected += line + "\n";
    }
  }
  return t;
}

TEST(LogEcho, StalledReaderHoldsUpNoAppendAndHearsOfTheDropsOnceItReads) {
  test_pipe pipe(4096);
  log_echo echo(pipe.write_end(), 16);
  manual_clock clock{make_local(2023, 12, 25, 9, 5, 7)};
  log_switches switches;
  event_log log(clock, switches, [&](std::string_view line) { echo.push(line); });

  constexpr int total = 5000;
  static_assert(total <= static_cast<int>(event_log::max_lines));
  auto appending = std::async(std::launch::async, [&] {
    for (int i = 1; i <= total; ++i) log.append(": line " + std::to_string(i));
  });
  EXPECT_EQ(appending.wait_for(60s), std::future_status::ready) << "appending waited for the reader";

  // Reading now also releases an append that waited, should the test fail.
  auto text = pipe.read_until([](const std::string& t) {
    auto seen = tally(t);
    return seen.echoed + seen.dropped >= total;
  });
  appending.wait();
  EXPECT_EQ(log.size(), static_cast<size_t>(total));

  auto seen = tally(text);
  EXPECT_GT(seen.reports, 0);
  EXPECT_GT(seen.echoed, 0);
  EXPECT_EQ(seen.echoed + seen.dropped, total);
  EXPECT_TRUE(seen.in_order);
  EXPECT_EQ(seen.unexpected, "");
}

TEST(LogEcho, StopGivesUpOnAReaderThatNeverReads) {
  test_pipe pipe(4096);
  log_echo echo(pipe.write_end());
  // Far more than the pipe takes is queued, whenever the writer runs.
  for (int i = 1; i <= 5000; ++i) echo.push(std::to_string(i) + std::string(100, 'x'));

  auto stopping = std::async(std::launch::async, [&] { echo.stop(); });
  EXPECT_EQ(stopping.wait_for(60s), std::future_status::ready) << "stop waited for the reader";
  pipe.read_until([&](const std::string&) { return stopping.wait_for(0s) == std::future_status::ready; });
  stopping.wait();

  echo.push("after stop");
  EXPECT_EQ(pipe.read_available().find("after stop"), std::string::npos);
}

TEST(LogEcho, StopWritesEverythingQueuedToAReaderThatReads) {
  test_pipe pipe(65536);
  log_echo echo(pipe.write_end());
  std::string expected;
  for (int i = 1; i <= 100; ++i) {
    echo.push(std::string(numbered_prefix) + std::to_string(i));
    expected += std::string(numbered_prefix) + std::to_string(i) + "\n";
  }
  echo.stop();
  EXPECT_EQ(pipe.read_available(), expected);
}

}  // namespace
}  // namespace velmira
