#pragma once
// The once-a-second housekeeping timer. Ticks are aligned to the start of
// each wall-clock second so that a given second (0:05:00) is not skipped
// under normal load; a tick that runs late is not repeated.
//
// start and stop may be called from any thread. Lifetime: destroy only
// after its io_context has stopped running.
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <functional>

#include "core/mutex.hpp"

namespace velmira {

class second_timer {
 public:
  second_timer(boost::asio::io_context& io, std::function<void()> tick);

  void start();
  void stop();
  bool running() const;

 private:
  void arm();

  boost::asio::strand<boost::asio::io_context::executor_type> strand_;
  boost::asio::steady_timer timer_;
  std::function<void()> tick_;
  mutable mutex mutex_;
  bool running_ GUARDED_BY(mutex_) = false;
  unsigned generation_ GUARDED_BY(mutex_) = 0;  // a stop and a new start must not revive old waits
};

}  // namespace velmira
