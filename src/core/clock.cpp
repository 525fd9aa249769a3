#include "core/clock.hpp"

#include <cstdio>
#include <ctime>

#include "core/fields.hpp"

namespace velmira {

using namespace std::chrono;

// localtime_r takes the C library's time-zone lock, which every thread of
// the pool would contend for on each game move; the local time of one
// second is worked out once per thread.
local_seconds system_clock_source::now() const {
  thread_local std::time_t last_utc = -1;
  thread_local local_seconds last_local;
  std::time_t t = std::time(nullptr);
  if (t == last_utc) return last_local;
  std::tm tm{};
  localtime_r(&t, &tm);
  last_utc = t;
  last_local = make_local(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1),
                          static_cast<unsigned>(tm.tm_mday), tm.tm_hour, tm.tm_min, tm.tm_sec);
  return last_local;
}

local_seconds make_local(int year, unsigned month, unsigned day, int hour, int minute, int second) {
  local_days d{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
  return d + hours{hour} + minutes{minute} + seconds{second};
}

std::string date_text(local_seconds t) {
  year_month_day ymd{floor<days>(t)};
  char text[16];
  std::snprintf(text, sizeof text, "%02u.%02u.%04d", static_cast<unsigned>(ymd.day()),
                static_cast<unsigned>(ymd.month()), static_cast<int>(ymd.year()));
  return text;
}

std::string time_text(local_seconds t) {
  hh_mm_ss hms{t - floor<days>(t)};
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(hms.hours().count()),
                static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count()));
  return text;
}

std::optional<int> TimToMin(std::string_view t) {
  auto rest = t;
  auto hours = digits_value(cut_field(rest, ':'), 1, 2);
  auto minutes = digits_value(cut_field(rest, ':'), 1, 2);
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  return static_cast<int>(*hours * 60 + *minutes);
}

}  // namespace velmira
