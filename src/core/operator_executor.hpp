#pragma once
// The operator's thread: every operation that changes shared state or
// rewrites a data file runs here, one after the other, so that concurrent
// adds, purges and reloads never lose each other's records, and so that a
// slow fsync holds up nothing but the operations queued behind it. Network
// code posts work here and resumes on its own executor when it is done; the
// work itself never does network input/output.
//
// Thread-safety: post() and call() may be used from any thread.
// Lifetime: handlers still queued at stop() are destroyed without running,
// so whatever they hold (connections of another io_context, say) must
// outlive the executor.
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>

namespace velmira {

// Work handed to an executor that has stopped: nothing would ever run it.
class operator_stopped : public std::runtime_error {
 public:
  operator_stopped() : std::runtime_error("the operator executor has stopped") {}
};

class operator_executor {
 public:
  using executor_type = boost::asio::io_context::executor_type;

  operator_executor();
  ~operator_executor();
  operator_executor(const operator_executor&) = delete;
  operator_executor& operator=(const operator_executor&) = delete;

  executor_type get_executor() { return io_.get_executor(); }
  // For timers whose ticks are operator work.
  boost::asio::io_context& context() { return io_; }
  bool running_in_this_thread() const { return io_.get_executor().running_in_this_thread(); }

  template <class F>
  void post(F&& work) {
    boost::asio::post(io_, std::forward<F>(work));
  }

  // Runs `work` on the operator's thread and returns its result, or throws
  // what it threw. Called on that thread itself, it runs at once.
  template <class F>
  std::invoke_result_t<F&> call(F work) {
    if (running_in_this_thread()) return work();
    if (stopped_.load()) throw operator_stopped();
    // The handler owns the task: dropped unrun at stop(), it breaks the
    // promise, and the caller gets an exception instead of waiting for ever.
    auto task = std::make_shared<std::packaged_task<std::invoke_result_t<F&>()>>(std::move(work));
    auto result = task->get_future();
    boost::asio::post(io_, [task] { (*task)(); });
    return result.get();
  }

  // Finishes the operation in progress and joins the thread; queued work is
  // dropped. Idempotent; must not be called from the operator's thread.
  void stop();

 private:
  mutable boost::asio::io_context io_{1};  // mutable: asking for its executor is not a change
  boost::asio::executor_work_guard<executor_type> work_{io_.get_executor()};
  std::atomic<bool> stopped_{false};
  std::thread thread_;
};

}  // namespace velmira
