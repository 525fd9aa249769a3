#include "core/operator_executor.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace velmira {
namespace {

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
