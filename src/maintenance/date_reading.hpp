#pragma once
// Reading back the dates the server finds in its own files: record dates
// and the dates in published file names. Texts are Windows-1251 (the digits and separators
// are the same bytes in UTF-8).
#include <chrono>
#include <optional>
#include <string_view>

namespace velmira {

// A calendar date from its three parts: day and month of one or two digits,
// year of four digits or of two, which mean 20yy. Nothing for anything else,
// including dates the calendar lacks (31.02).
std::optional<std::chrono::local_days> read_date(std::string_view day, std::string_view month,
                                                 std::string_view year);

// A date written in the short date format, day "." month "." year (25.12.2023,
// also 5.9.24); nothing unless the whole text is such a date.
std::optional<std::chrono::local_days> read_short_date(std::string_view text);

}  // namespace velmira
