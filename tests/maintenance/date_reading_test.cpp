#include "maintenance/date_reading.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/clock.hpp"

namespace velmira {
namespace {

using std::chrono::local_days;

std::optional<local_days> day(int y, unsigned m, unsigned d) {
  return std::chrono::floor<std::chrono::days>(make_local(y, m, d));
}

struct date_case {
  std::string text;
  std::optional<local_days> date;
};

TEST(ReadShortDate, ReadsDayMonthYearWithTwoOrFourDigitYears) {
  const std::vector<date_case> cases = {
      {"25.12.2023", day(2023, 12, 25)},
      {"5.9.24", day(2024, 9, 5)},
      {"05.09.2024", day(2024, 9, 5)},
      {"29.02.2024", day(2024, 2, 29)},
      {"29.02.2023", std::nullopt},
      {"31.02.2024", std::nullopt},
      {"00.01.2024", std::nullopt},
      {"01.13.2024", std::nullopt},
      {"05.09.024", std::nullopt},
      {"05.09.4", std::nullopt},
      {"05.09.2024.", std::nullopt},
      {"05.09", std::nullopt},
      {" 5.9.24", std::nullopt},
      {"25/12/2023", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(read_short_date(c.text), c.date) << '"' << c.text << '"';
}

}  // namespace
}  // namespace velmira
