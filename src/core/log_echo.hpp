#pragma once
// The echo of the event log on standard output (or any descriptor): lines
// are queued and written by a thread of its own, so a reader that stalls
// (a full pipe nobody drains, a stuck journal) never holds up whoever logs.
//
// Thread-safety: push and stop may be called from any thread. The caller
// keeps SIGPIPE ignored, since the reader may go away.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/mutex.hpp"

namespace velmira {

class log_echo {
 public:
  // Lines waiting for the writer; past this the echo drops lines.
  static constexpr std::size_t max_queued_lines = 4096;
  // How long stop() keeps writing what is queued before it gives up.
  static constexpr std::chrono::milliseconds stop_flush_limit{1000};

  // `fd` is written to, never closed; it must outlive the echo.
  explicit log_echo(int fd, std::size_t capacity = max_queued_lines);
  ~log_echo();
  log_echo(const log_echo&) = delete;
  log_echo& operator=(const log_echo&) = delete;

  // Queues `line` and a line feed; never waits for the writer. A line that
  // finds the queue full is dropped and counted, and once the writer gets
  // through again it writes one line telling how many were dropped.
  void push(std::string_view line);

  // Writes what is queued, for at most stop_flush_limit, and ends the
  // writer; later pushes are ignored. Idempotent.
  void stop();

  // The line reporting `count` dropped lines.
  static std::string dropped_report(std::size_t count);

 private:
  void run();
  // Waits for queued lines and takes them all: their text, with the report
  // of lines dropped meanwhile, or nothing once stopped with none queued.
  std::optional<std::string> next_text() EXCLUDES(mutex_);
  bool has_work() const REQUIRES(mutex_);
  // False when stop's flush limit ran out before `text` was written.
  bool write_out(std::string_view text);
  std::optional<std::chrono::steady_clock::time_point> flush_deadline() EXCLUDES(mutex_);

  const int fd_;
  const std::size_t capacity_;
  // Wakes the writer from waiting for the descriptor when stop() is called.
  const int wake_fd_;
  mutex mutex_;
  std::condition_variable_any queued_;  // waited on with mutex_ itself
  std::deque<std::string> queue_ GUARDED_BY(mutex_);
  std::size_t dropped_ GUARDED_BY(mutex_) = 0;
  bool stopping_ GUARDED_BY(mutex_) = false;
  std::chrono::steady_clock::time_point stop_deadline_ GUARDED_BY(mutex_);
  std::thread writer_;
};

}  // namespace velmira
