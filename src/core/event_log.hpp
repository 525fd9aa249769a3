#pragma once
// The event log the operator reads: whole lines, appended from any thread.
//
// Lines are kept as UTF-8: the log is only ever shown (console, standard
// output), never stored in a data file. Callers convert request data from
// Windows-1251 when they build a line.
#include <array>
#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/mutex.hpp"

namespace velmira {

// Event kinds that are logged only while their switch is on; the values are
// the numbers of the switch lines in the settings file.
enum class log_category {
  news_changes = 11,
  notes_changes = 12,
  timetable_changes = 13,
  menu_changes = 14,
  bell_list_views = 15,
  info_checks = 16,
  game_creation = 17,
  news_views = 18,
  notes_views = 19,
  timetable_views = 20,
  menu_views = 21,
};
inline constexpr int first_log_switch_line = 11;
inline constexpr int log_switch_count = 11;

// The switches as the settings page shows them at this moment. Read by every
// thread on each logged event, written by the page; lock-free both ways.
class log_switches {
 public:
  bool on(log_category c) const { return at(c).load(std::memory_order_relaxed); }
  void set(log_category c, bool on) { at(c).store(on, std::memory_order_relaxed); }

 private:
  std::atomic<bool>& at(log_category c) { return flags_[index(c)]; }
  const std::atomic<bool>& at(log_category c) const { return flags_[index(c)]; }
  static size_t index(log_category c) { return static_cast<size_t>(c) - first_log_switch_line; }
  std::array<std::atomic<bool>, log_switch_count> flags_{};
};

class event_log {
 public:
  // Without a bound a server that only answers HTTP would grow the log for ever.
  static constexpr size_t max_lines = 10'000;
  // Past this many lines, the next client request empties the log.
  static constexpr size_t request_clear_threshold = 100;

  using line_sink = std::function<void(std::string_view utf8_line)>;

  // What every event text begins with, between the time and the event.
  static constexpr std::string_view text_prefix = ": ";

  // `echo` receives every appended line as well (standard output in the
  // server, through a log_echo); it is called under the log's lock, so lines
  // never interleave, and must therefore never wait on its reader.
  event_log(const clock_source& clock, const log_switches& switches, line_sink echo = {});

  // Appends "[" date "] " time + text; `text` begins with text_prefix.
  void append(std::string_view utf8_text);
  // Appends only while the category's switch is on.
  void append(log_category category, std::string_view utf8_text);
  // The same with text_prefix put before `utf8_event`.
  void append_event(std::string_view utf8_event);
  void append_event(log_category category, std::string_view utf8_event);

  // Empties the log when it holds more than 100 lines, leaving the one line
  // "Очищено <date> в <time>"; called at the start of every client request.
  void clear_if_over_request_threshold();

  // The operator's button: empties the log, writes nothing.
  void clear();

  std::vector<std::string> lines() const;
  size_t size() const;

 private:
  void push_locked(std::string line) REQUIRES(mutex_);
  void clear_locked() REQUIRES(mutex_);

  const clock_source& clock_;
  const log_switches& switches_;
  line_sink echo_;
  mutable mutex mutex_;
  std::deque<std::string> lines_ GUARDED_BY(mutex_);
  std::atomic<size_t> line_count_{0};  // lines_.size(), readable without the lock
};

}  // namespace velmira
