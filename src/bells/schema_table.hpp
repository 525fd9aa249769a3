#pragma once
// The lesson times of one bell schema: 10 lessons by 42 strings, a block of
// six fields for each day of the week (1 Monday … 7 Sunday). Indices run
// from 1 as in the schema file: column = (day − 1) × 6 + field.
//
// Values are Windows-1251 text held as the editor or the file gave them; a
// field without a value is `blank_field`, the one-space string.
//
// Not thread-safe: the owner serialises access (the operator's thread).
#include <array>
#include <string>
#include <string_view>

namespace velmira {

inline constexpr std::string_view blank_field = " ";

// The six fields of a day block, in column order.
enum class lesson_field : int { start_hour = 1, start_minute, end_hour, end_minute, length, break_after };

class schema_table {
 public:
  static constexpr int lesson_count = 10;
  static constexpr int day_count = 7;
  static constexpr int fields_per_day = 6;
  static constexpr int column_count = day_count * fields_per_day;

  // Every field blank, as at start-up.
  schema_table();
  void reset();

  // lesson 1..10, column 1..42; out of range throws std::out_of_range.
  std::string& at(int lesson, int column);
  const std::string& at(int lesson, int column) const;

  // day 1..7, lesson 1..10.
  std::string& field(int day, int lesson, lesson_field f);
  const std::string& field(int day, int lesson, lesson_field f) const;

  bool operator==(const schema_table&) const = default;

 private:
  static int column_of(int day, lesson_field f) { return (day - 1) * fields_per_day + static_cast<int>(f); }

  std::array<std::array<std::string, column_count>, lesson_count> cells_;
};

// The schema file: line i holds lesson i's 42 values, each followed by ":".
// Reading takes lines 1 to 10 (a missing line reads as empty) and cuts each
// at ":" 42 times; once no ":" is left the remaining columns are empty.
schema_table parse_schema(std::string_view file_text);
std::string format_schema(const schema_table& shema);

// What saving does to the times before they are written, on all seven days:
// a lesson without an end hour (2 to 10) is dropped together with the break
// before it; a day whose first lesson lacks its start or end minute is
// dropped whole; lesson 10's break becomes the empty string.
void normalise_before_save(schema_table& shema);

}  // namespace velmira
