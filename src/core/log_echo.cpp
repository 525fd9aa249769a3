#include "core/log_echo.hpp"

#include <limits.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace velmira {

log_echo::log_echo(int fd, std::size_t capacity)
    : fd_(fd), capacity_(capacity), wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wake_fd_ < 0) throw std::runtime_error("log echo: cannot create its wake-up descriptor");
  writer_ = std::thread([this] { run(); });
}

log_echo::~log_echo() {
  stop();
  ::close(wake_fd_);
}

void log_echo::push(std::string_view line) {
  mutex_lock lock(mutex_);
  if (stopping_) return;
  if (queue_.size() >= capacity_) {
    ++dropped_;
    return;
  }
  queue_.emplace_back(line).push_back('\n');
  // The writer waits only while the queue is empty.
  if (queue_.size() == 1) queued_.notify_one();
}

void log_echo::stop() {
  {
    mutex_lock lock(mutex_);
    if (!stopping_) {
      stopping_ = true;
      stop_deadline_ = std::chrono::steady_clock::now() + stop_flush_limit;
    }
  }
  queued_.notify_one();
  std::uint64_t one = 1;
  [[maybe_unused]] auto ignored = ::write(wake_fd_, &one, sizeof one);
  if (writer_.joinable()) writer_.join();
}

std::string log_echo::dropped_report(std::size_t count) {
  return "velmira: " + std::to_string(count) + " log lines were not echoed: standard output was blocked\n";
}

void log_echo::run() {
  while (auto text = next_text()) {
    if (!write_out(*text)) return;
  }
}

std::optional<std::string> log_echo::next_text() {
  std::deque<std::string> lines;
  std::size_t dropped = 0;
  {
    mutex_lock lock(mutex_);
    while (!has_work()) queued_.wait(mutex_);
    if (queue_.empty() && dropped_ == 0) return std::nullopt;
    lines = std::exchange(queue_, {});
    dropped = std::exchange(dropped_, 0);
  }
  // Joined outside the lock: push() never waits for more than a swap.
  std::string text;
  for (const auto& line : lines) text += line;
  // Lines dropped while the queue was full came after every line in it.
  if (dropped > 0) text += dropped_report(dropped);
  return text;
}

bool log_echo::has_work() const { return !queue_.empty() || dropped_ > 0 || stopping_; }

std::optional<std::chrono::steady_clock::time_point> log_echo::flush_deadline() {
  mutex_lock lock(mutex_);
  if (!stopping_) return std::nullopt;
  return stop_deadline_;
}

// Writes only once poll says the descriptor takes data, and at most PIPE_BUF
// bytes at a time: a pipe that polls writable takes that much without
// blocking, so the writer stays free to notice stop(). Until stop() the wait
// is unbounded and the wake-up descriptor ends it; from then on the flush
// deadline bounds it.
bool log_echo::write_out(std::string_view text) {
  while (!text.empty()) {
    pollfd fds[] = {{fd_, POLLOUT, 0}, {wake_fd_, POLLIN, 0}};
    nfds_t count = 2;
    int timeout = -1;
    if (auto deadline = flush_deadline()) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      timeout = static_cast<int>(left.count());
      count = 1;
    }
    if (::poll(fds, count, timeout) <= 0 || fds[0].revents == 0) continue;
    ssize_t n = ::write(fd_, text.data(), std::min<std::size_t>(text.size(), PIPE_BUF));
    if (n < 0 && errno != EINTR && errno != EAGAIN) return true;  // the reader is gone: drop the text
    if (n > 0) text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace velmira
