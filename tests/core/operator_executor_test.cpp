#include "core/operator_executor.hpp"

#include <gtest/gtest.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <atomic>
#include <optional>
#include <string>
#include <stdexcept>
#include <future>
#include <thread>
#include <vector>

namespace velmira {
namespace {

namespace asio = boost::asio;

// A coroutine on a loop of its own (as a connection's strand is) awaits
// operator work; the loop's thread runs it, so where each part ran shows.
struct awaiting_loop {
  asio::io_context io;
  std::thread::id loop_thread;

  // The lambda's captures live in the lambda, not in its coroutine's frame:
  // it is kept here until the loop has run the coroutine to its end.
  template <class Coroutine>
  void run(Coroutine coroutine) {
    asio::co_spawn(io, coroutine(), asio::detached);
    loop_thread = std::this_thread::get_id();
    io.run();
  }
};

TEST(OperatorExecutor, AsyncCallRunsOnTheOperatorsThreadAndResumesOnTheCallersLoop) {
  operator_executor op;
  awaiting_loop loop;
  std::thread::id work_thread, resumed_on;
  int result = 0;
  loop.run([&]() -> asio::awaitable<void> {
    result = co_await op.async_call(
        [&] {
          work_thread = std::this_thread::get_id();
          return 42;
        },
        asio::use_awaitable);
    resumed_on = std::this_thread::get_id();
  });
  EXPECT_EQ(result, 42);
  EXPECT_NE(work_thread, loop.loop_thread);
  EXPECT_EQ(resumed_on, loop.loop_thread);
}

TEST(OperatorExecutor, AsyncCallRethrowsInTheAwaitingCoroutine) {
  operator_executor op;
  awaiting_loop loop;
  std::optional<std::string> caught;
  bool void_work_ran = false;
  loop.run([&]() -> asio::awaitable<void> {
    try {
      co_await op.async_call([]() -> int { throw std::runtime_error("disk full"); }, asio::use_awaitable);
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    co_await op.async_call([&] { void_work_ran = true; }, asio::use_awaitable);
  });
  EXPECT_EQ(caught, "disk full");
  EXPECT_TRUE(void_work_ran);
}

TEST(OperatorExecutor, TheCallersLoopIsFreeWhileTheOperatorWorks) {
  // Declared before the executor, so its thread (and the job's copy of the
  // gate) is gone before the promise is.
  std::promise<void> release;
  auto gate = release.get_future().share();
  operator_executor op;
  awaiting_loop loop;
  bool other_work_ran = false, resumed = false;
  loop.run([&]() -> asio::awaitable<void> {
    // Other work of the loop runs while the operator's job waits for it.
    asio::post(loop.io, [&] {
      other_work_ran = true;
      release.set_value();
    });
    // Named: GCC 12 destroys a temporary argument inside co_await twice.
    auto wait_for_the_loop = [gate] { gate.wait(); };
    co_await op.async_call(std::move(wait_for_the_loop), asio::use_awaitable);
    resumed = true;
  });
  EXPECT_TRUE(other_work_ran);
  EXPECT_TRUE(resumed);
}

TEST(OperatorExecutor, CallRunsOnTheOperatorsThreadAndReturnsItsResult) {
  operator_executor op;
  auto caller = std::this_thread::get_id();
  auto ran_on = op.call([] { return std::this_thread::get_id(); });
  EXPECT_NE(ran_on, caller);
  EXPECT_EQ(op.call([] { return 42; }), 42);
}

TEST(OperatorExecutor, CallRethrowsWhatTheWorkThrew) {
  operator_executor op;
  EXPECT_THROW(op.call([]() -> int { throw std::runtime_error("disk full"); }), std::runtime_error);
  // The thread survives the failed operation.
  EXPECT_EQ(op.call([] { return 1; }), 1);
}

TEST(OperatorExecutor, CallFromTheOperatorsOwnThreadRunsAtOnce) {
  operator_executor op;
  // Waiting for itself would never end.
  EXPECT_EQ(op.call([&] { return op.call([] { return 7; }) + 1; }), 8);
}

TEST(OperatorExecutor, WorkFromManyThreadsRunsOneAtATimeInPostingOrderPerThread) {
  operator_executor op;
  std::vector<int> seen;  // touched on the operator's thread only
  std::atomic<int> running{0};
  bool overlapped = false;
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        op.post([&, value = t * 1000 + i] {
          if (running.fetch_add(1) != 0) overlapped = true;
          seen.push_back(value);
          running.fetch_sub(1);
        });
      }
    });
  }
  for (auto& p : posters) p.join();
  op.call([] {});
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(seen.size(), 800u);
  std::vector<int> last(4, -1);
  for (int value : seen) {
    int t = value / 1000, i = value % 1000;
    EXPECT_GT(i, last[static_cast<size_t>(t)]) << "thread " << t;
    last[static_cast<size_t>(t)] = i;
  }
}

TEST(OperatorExecutor, CallAfterStopThrowsInsteadOfWaitingForEver) {
  operator_executor op;
  op.stop();
  op.stop();  // idempotent
  EXPECT_THROW(op.call([] { return 1; }), operator_stopped);
}

}  // namespace
}  // namespace velmira
