#pragma once
// The server: owns every subsystem, the listeners, the timers, the thread
// pool and the operator's thread, wires them together, starts and stops.
// Everything an operator does reaches the server through one way in: a job
// on the operator's thread over the operator_desk (operate, or call where
// a thread may wait).
//
// Thread-safety: operate() and call() may be used from any thread but the
// operator's own; log(), users(), connection_greeting() and title() are
// safe from any thread.
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "core/event_log.hpp"
#include "core/greeting.hpp"
#include "core/operator_executor.hpp"
#include "server/operator_desk.hpp"
#include "server/server_state.hpp"
#include "users/user_table.hpp"

namespace velmira {

// A start-up that cannot go on: the process must not run half-started.
class startup_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Server {
 public:
  explicit Server(server_state_options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // The start-up sequence; throws startup_error. Runs the thread pool.
  void FormCreate();
  // Stops the listeners and the timers and joins the threads; idempotent.
  void shutdown();

  // `work(operator_desk&)` as one job on the operator's thread; the
  // awaiting coroutine resumes on its own executor with the job's result,
  // or with what it threw. No thread waits meanwhile. The result type must
  // be default-constructible (or void).
  template <class F>
  auto operate(F work) -> boost::asio::awaitable<std::invoke_result_t<F&, operator_desk&>> {
    return operator_thread().async_call([this, work = std::move(work)]() mutable { return work(desk()); },
                                        boost::asio::use_awaitable);
  }
  // The same job, the caller waiting for it: for start-up, tests and other
  // threads that are not the pool's.
  template <class F>
  std::invoke_result_t<F&, operator_desk&> call(F work) {
    return operator_thread().call([this, &work] { return work(desk()); });
  }

  // The event loop of the pool, for the operator console's listener.
  boost::asio::io_context& context();

  // Thread-safe by themselves.
  event_log& log();
  const user_table& users() const;
  greeting connection_greeting() const;
  const std::string& title() const;  // UTF-8

 private:
  struct parts;

  operator_executor& operator_thread();
  operator_desk& desk();
  void start_up();
  // The start-up's loads; true when the settings select local mode.
  bool load_at_start_up();
  void start_pool();

  server_state_options options_;
  std::unique_ptr<clock_source> own_clock_;
  const clock_source& clock_;
  std::unique_ptr<parts> parts_;
  std::vector<std::thread> pool_;
};

}  // namespace velmira
