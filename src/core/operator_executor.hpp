#pragma once
// The operator's thread: every operation that changes shared state or
// rewrites a data file runs here, one after the other, so that concurrent
// adds, purges and reloads never lose each other's records, and so that a
// slow fsync holds up nothing but the operations queued behind it. Network
// code posts work here and resumes on its own executor when it is done; the
// work itself never does network input/output.
//
// Thread-safety: post(), async_call() and call() may be used from any thread.
// Lifetime: handlers still queued at stop() are destroyed without running,
// so whatever they hold (connections of another io_context, say) must
// outlive the executor.
#include <boost/asio/async_result.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <atomic>
#include <exception>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <tuple>
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

  // Runs `work` on the operator's thread, then completes `token` on the
  // token's own executor (a coroutine's strand, say) with what it threw and
  // what it returned: `void(std::exception_ptr, R)`, or
  // `void(std::exception_ptr)` for void work; with use_awaitable, co_await
  // returns the result or rethrows. Nobody waits meanwhile. Work dropped
  // unrun at stop() drops the completion too: a coroutine awaiting it is
  // destroyed, never resumed.
  template <class F, class Token>
  auto async_call(F work, Token&& token) {
    using result = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<result>) {
      return boost::asio::async_initiate<Token, void(std::exception_ptr)>(
          [self = this](auto handler, F work) {
            self->post_then_resume(std::move(work), std::move(handler), [](F& w) {
              w();
              return std::tuple<>();
            });
          },
          token, std::move(work));
    } else {
      return boost::asio::async_initiate<Token, void(std::exception_ptr, result)>(
          [self = this](auto handler, F work) {
            self->post_then_resume(std::move(work), std::move(handler), [](F& w) { return std::tuple<result>(w()); });
          },
          token, std::move(work));
    }
  }

  // Runs `work` on the operator's thread and returns its result, or throws
  // what it threw, blocking the caller meanwhile: for start-up, shutdown and
  // tests, never for a pool thread. Called on that thread itself, it runs
  // at once.
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
  // `run(work)` on this thread, its values (a tuple) and exception handed to
  // `handler` on the handler's executor.
  template <class F, class Handler, class Run>
  void post_then_resume(F work, Handler handler, Run run) {
    auto home = boost::asio::make_work_guard(boost::asio::get_associated_executor(handler));
    boost::asio::post(io_, [work = std::move(work), handler = std::move(handler), home = std::move(home),
                            run]() mutable {
      std::exception_ptr failure;
      decltype(run(work)) values{};
      try {
        values = run(work);
      } catch (...) {
        failure = std::current_exception();
      }
      auto to = home.get_executor();
      boost::asio::dispatch(to, [handler = std::move(handler), failure, values = std::move(values)]() mutable {
        std::apply([&](auto&&... v) { std::move(handler)(failure, std::move(v)...); }, std::move(values));
      });
    });
  }

  mutable boost::asio::io_context io_{1};  // mutable: asking for its executor is not a change
  boost::asio::executor_work_guard<executor_type> work_{io_.get_executor()};
  std::atomic<bool> stopped_{false};
  std::thread thread_;
};

}  // namespace velmira
