#include "core/event_log.hpp"

namespace velmira {

event_log::event_log(const clock_source& clock, const log_switches& switches, line_sink echo)
    : clock_(clock), switches_(switches), echo_(std::move(echo)) {}

void event_log::append(std::string_view utf8_text) {
  auto now = clock_.now();
  std::string line = "[" + date_text(now) + "] " + time_text(now);
  line += utf8_text;
  mutex_lock lock(mutex_);
  push_locked(std::move(line));
}

void event_log::append(log_category category, std::string_view utf8_text) {
  if (switches_.on(category)) append(utf8_text);
}

void event_log::append_event(std::string_view utf8_event) {
  append(std::string(text_prefix) + std::string(utf8_event));
}

void event_log::append_event(log_category category, std::string_view utf8_event) {
  if (switches_.on(category)) append_event(utf8_event);
}

void event_log::clear_if_over_request_threshold() {
  // Every request asks, and most find a short log: they need not queue for
  // the lock to learn it.
  if (line_count_.load(std::memory_order_relaxed) <= request_clear_threshold) return;
  auto now = clock_.now();
  mutex_lock lock(mutex_);
  if (lines_.size() <= request_clear_threshold) return;
  clear_locked();
  push_locked("Очищено " + date_text(now) + " в " + time_text(now));
}

void event_log::clear() {
  mutex_lock lock(mutex_);
  clear_locked();
}

void event_log::clear_locked() {
  lines_.clear();
  line_count_.store(0, std::memory_order_relaxed);
}

std::vector<std::string> event_log::lines() const {
  mutex_lock lock(mutex_);
  return {lines_.begin(), lines_.end()};
}

size_t event_log::size() const {
  mutex_lock lock(mutex_);
  return lines_.size();
}

void event_log::push_locked(std::string line) {
  if (echo_) echo_(line);
  if (lines_.size() == max_lines) lines_.pop_front();
  lines_.push_back(std::move(line));
  line_count_.store(lines_.size(), std::memory_order_relaxed);
}

}  // namespace velmira
