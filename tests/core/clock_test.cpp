#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

struct moment_case {
  const char* name;
  int year;
  unsigned month, day;
  int hour, minute, second;
  std::string date;
  std::string time;
};

class ClockText : public ::testing::TestWithParam<moment_case> {};

TEST_P(ClockText, UsesRussianShortDateAndLongTime) {
  const auto& c = GetParam();
  auto t = make_local(c.year, c.month, c.day, c.hour, c.minute, c.second);
  EXPECT_EQ(date_text(t), c.date);
  EXPECT_EQ(time_text(t), c.time);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClockText,
    ::testing::Values(moment_case{"TwoDigitHour", 2023, 12, 25, 14, 5, 9, "25.12.2023", "14:05:09"},
                      // Day and month keep their zero, the hour does not.
                      moment_case{"OneDigitHourAndZeroPaddedDate", 2023, 5, 9, 9, 3, 7, "09.05.2023", "9:03:07"},
                      moment_case{"Midnight", 2024, 1, 1, 0, 0, 0, "01.01.2024", "0:00:00"},
                      moment_case{"LastSecondOfALeapDay", 2024, 2, 29, 23, 59, 59, "29.02.2024", "23:59:59"},
                      moment_case{"FiveMinutesPastMidnight", 2024, 3, 1, 0, 5, 0, "01.03.2024", "0:05:00"},
                      moment_case{"LastDayOf1999", 1999, 12, 31, 10, 0, 0, "31.12.1999", "10:00:00"}),
    testing::by_name);

TEST(ClockText, FollowsTheCalendarAcrossTheYearEnd) {
  auto t = make_local(2023, 12, 31, 23, 0, 0) + std::chrono::hours{2};
  EXPECT_EQ(date_text(t), "01.01.2024");
  EXPECT_EQ(time_text(t), "1:00:00");
}

TEST(ManualClock, StandsStillUntilSet) {
  auto start = make_local(2023, 9, 1, 8, 30, 0);
  manual_clock clock(start);
  EXPECT_EQ(clock.now(), start);
  EXPECT_EQ(clock.now(), start);
  auto later = make_local(2023, 9, 2, 0, 5, 0);
  clock.set(later);
  EXPECT_EQ(clock.now(), later);
  EXPECT_EQ(time_text(clock.now()), "0:05:00");
}

struct minute_case {
  std::string text;
  std::optional<int> minutes;
};

TEST(TimToMin, CountsHoursAndMinutesAndIgnoresSeconds) {
  const std::vector<minute_case> cases = {
      {"14:03:27", 843}, {"0:05:00", 5},        {"23:59:59", 1439},       {"9:07:59", 547},
      {"", std::nullopt}, {"10:04", std::nullopt}, {"24:00:00", std::nullopt}, {"10:60:00", std::nullopt},
      {"ab:cd:ef", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(TimToMin(c.text), c.minutes) << '"' << c.text << '"';
}

}  // namespace
}  // namespace velmira
