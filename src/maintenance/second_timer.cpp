#include "maintenance/second_timer.hpp"

#include <boost/asio/post.hpp>
#include <chrono>

namespace velmira {

namespace asio = boost::asio;
using namespace std::chrono;

second_timer::second_timer(asio::io_context& io, std::function<void()> tick)
    : strand_(asio::make_strand(io)), timer_(strand_), tick_(std::move(tick)) {}

void second_timer::start() {
  mutex_lock lock(mutex_);
  if (running_) return;
  running_ = true;
  ++generation_;
  asio::post(strand_, [this] { arm(); });
}

void second_timer::stop() {
  mutex_lock lock(mutex_);
  running_ = false;
  ++generation_;
  asio::post(strand_, [this] { timer_.cancel(); });
}

bool second_timer::running() const {
  mutex_lock lock(mutex_);
  return running_;
}

void second_timer::arm() {
  unsigned generation;
  {
    mutex_lock lock(mutex_);
    if (!running_) return;
    generation = generation_;
  }
  auto now = system_clock::now();
  auto next_second = ceil<seconds>(now + milliseconds(1));
  timer_.expires_after(duration_cast<steady_clock::duration>(next_second - now));
  timer_.async_wait([this, generation](boost::system::error_code ec) {
    if (ec) return;
    {
      mutex_lock lock(mutex_);
      if (!running_ || generation != generation_) return;
    }
    tick_();
    arm();
  });
}

}  // namespace velmira
