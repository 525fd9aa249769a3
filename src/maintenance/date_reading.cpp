#include "maintenance/date_reading.hpp"

#include "core/fields.hpp"

namespace velmira {

using namespace std::chrono;

namespace {

std::optional<int> full_year(std::string_view year) {
  if (year.size() != 2 && year.size() != 4) return std::nullopt;
  auto value = digits_value(year, 2, 4);
  if (!value) return std::nullopt;
  return static_cast<int>(year.size() == 2 ? 2000 + *value : *value);
}

}  // namespace

std::optional<local_days> read_date(std::string_view day_text, std::string_view month_text,
                                    std::string_view year_text) {
  auto d = digits_value(day_text, 1, 2);
  auto m = digits_value(month_text, 1, 2);
  auto y = full_year(year_text);
  if (!d || !m || !y) return std::nullopt;
  year_month_day date{year{*y}, month{*m}, day{*d}};
  if (!date.ok()) return std::nullopt;
  return local_days{date};
}

std::optional<local_days> read_short_date(std::string_view text) {
  auto rest = text;
  auto day_text = cut_field(rest, '.');
  auto month_text = cut_field(rest, '.');
  return read_date(day_text, month_text, rest);
}

}  // namespace velmira
