#include <gtest/gtest.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "maintenance/second_timer.hpp"

namespace velmira {
namespace {

using namespace std::chrono;

class TickingTimer : public ::testing::Test {
 protected:
  ~TickingTimer() override {
    timer.stop();
    work.reset();
    io.stop();
    thread.join();
  }

  // Waits until `n` ticks have been seen, at most `limit`.
  bool wait_for_ticks(size_t n, seconds limit = seconds(10)) {
    std::unique_lock lock(mutex);
    return seen.wait_for(lock, limit, [&] { return ticks.size() >= n; });
  }

  boost::asio::io_context io;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work{io.get_executor()};
  std::mutex mutex;
  std::condition_variable seen;
  std::vector<system_clock::time_point> ticks;
  second_timer timer{io, [this] {
                       std::lock_guard lock(mutex);
                       ticks.push_back(system_clock::now());
                       seen.notify_all();
                     }};
  std::thread thread{[this] { io.run(); }};
};

TEST_F(TickingTimer, TicksOncePerWallClockSecond) {
  timer.start();
  ASSERT_TRUE(wait_for_ticks(3));
  std::lock_guard lock(mutex);
  for (size_t i = 1; i < ticks.size(); ++i) {
    EXPECT_GT(floor<seconds>(ticks[i]), floor<seconds>(ticks[i - 1])) << "two ticks in one second";
  }
}

TEST_F(TickingTimer, StopsAndStartsAgain) {
  timer.start();
  ASSERT_TRUE(wait_for_ticks(1));
  timer.stop();
  EXPECT_FALSE(timer.running());
  size_t after_stop;
  {
    std::lock_guard lock(mutex);
    after_stop = ticks.size();
  }
  // A tick already under way when stop was called may still finish.
  EXPECT_FALSE(wait_for_ticks(after_stop + 2, seconds(3)));
  timer.start();
  EXPECT_TRUE(wait_for_ticks(after_stop + 3));
}

}  // namespace
}  // namespace velmira
