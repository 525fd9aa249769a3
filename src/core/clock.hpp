#pragma once
// The server's notion of "now" in local wall-clock time, injectable so tests
// can run at chosen moments (midnight, 0:05:00).
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace velmira {

using local_seconds = std::chrono::local_seconds;

class clock_source {
 public:
  virtual ~clock_source() = default;
  // Thread-safe.
  virtual local_seconds now() const = 0;
};

// Local time of the machine's time zone.
class system_clock_source final : public clock_source {
 public:
  local_seconds now() const override;
};

// A clock that stands still until set; thread-safe.
class manual_clock final : public clock_source {
 public:
  explicit manual_clock(local_seconds start) : now_(start.time_since_epoch().count()) {}
  local_seconds now() const override { return local_seconds(std::chrono::seconds(now_.load())); }
  void set(local_seconds t) { now_.store(t.time_since_epoch().count()); }

 private:
  std::atomic<long long> now_;
};

// Builds a local moment; month and day count from 1.
local_seconds make_local(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
                         int second = 0);

// "dd.mm.yyyy", the short date format.
std::string date_text(local_seconds t);
// "H:mm:ss", the long time format: the hour without a leading zero.
std::string time_text(local_seconds t);

// Minutes of the day of a time written hours ":" minutes ":" seconds
// (14:03:27 is 843); the seconds are ignored. Nothing when the hours or the
// minutes are not a time of day.
std::optional<int> TimToMin(std::string_view t);

}  // namespace velmira
