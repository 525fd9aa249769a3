#pragma once
// Reading back the dates and times the server finds in its own files and in
// the game rooms: record dates, the dates in published file names, and the
// move stamps of a room. Texts are Windows-1251 (the digits and separators
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

// Minutes of the day of a time written hours ":" minutes ":" seconds
// (14:03:27 is 843); the seconds are ignored. Nothing when the hours or the
// minutes are not a time of day.
std::optional<int> TimToMin(std::string_view t);

}  // namespace velmira
