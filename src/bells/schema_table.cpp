#include "bells/schema_table.hpp"

#include <stdexcept>
#include <vector>

#include "core/data_file.hpp"
#include "core/fields.hpp"

namespace velmira {

schema_table::schema_table() { reset(); }

void schema_table::reset() {
  for (auto& lesson : cells_) lesson.fill(std::string(blank_field));
}

std::string& schema_table::at(int lesson, int column) {
  return cells_.at(static_cast<size_t>(lesson - 1)).at(static_cast<size_t>(column - 1));
}

const std::string& schema_table::at(int lesson, int column) const {
  return cells_.at(static_cast<size_t>(lesson - 1)).at(static_cast<size_t>(column - 1));
}

std::string& schema_table::field(int day, int lesson, lesson_field f) {
  if (day < 1 || day > day_count) throw std::out_of_range("schema day");
  return at(lesson, column_of(day, f));
}

const std::string& schema_table::field(int day, int lesson, lesson_field f) const {
  if (day < 1 || day > day_count) throw std::out_of_range("schema day");
  return at(lesson, column_of(day, f));
}

schema_table parse_schema(std::string_view file_text) {
  schema_table shema;
  auto lines = split_lines(file_text);
  lines.resize(schema_table::lesson_count);
  for (int lesson = 1; lesson <= schema_table::lesson_count; ++lesson) {
    std::string_view rest = lines[static_cast<size_t>(lesson - 1)];
    for (int column = 1; column <= schema_table::column_count; ++column) {
      shema.at(lesson, column) = cut_field(rest, ':');
    }
  }
  return shema;
}

std::string format_schema(const schema_table& shema) {
  std::vector<std::string> lines;
  for (int lesson = 1; lesson <= schema_table::lesson_count; ++lesson) {
    std::string& line = lines.emplace_back();
    for (int column = 1; column <= schema_table::column_count; ++column) {
      line += shema.at(lesson, column);
      line += ':';
    }
  }
  return join_lines(lines);
}

namespace {

constexpr lesson_field all_fields[] = {lesson_field::start_hour, lesson_field::start_minute,
                                       lesson_field::end_hour,   lesson_field::end_minute,
                                       lesson_field::length,     lesson_field::break_after};

void blank_lesson(schema_table& shema, int day, int lesson) {
  for (lesson_field f : all_fields) shema.field(day, lesson, f) = blank_field;
}

// Only the one-space blank counts: an empty string (lesson 10's stored
// break, or a short file line) is a value here.
bool is_blank(const schema_table& shema, int day, int lesson, lesson_field f) {
  return shema.field(day, lesson, f) == blank_field;
}

void drop_lessons_without_end(schema_table& shema, int day) {
  for (int lesson = 2; lesson <= schema_table::lesson_count; ++lesson) {
    if (!is_blank(shema, day, lesson, lesson_field::end_hour)) continue;
    blank_lesson(shema, day, lesson);
    shema.field(day, lesson - 1, lesson_field::break_after) = blank_field;
  }
}

// Lesson 1's end hour is not part of the test, so a first lesson running
// past midnight (its end hour matches no item and may stay blank) keeps its day.
void drop_day_without_first_lesson(schema_table& shema, int day) {
  bool first_lesson_incomplete = is_blank(shema, day, 1, lesson_field::start_hour) ||
                                 is_blank(shema, day, 1, lesson_field::start_minute) ||
                                 is_blank(shema, day, 1, lesson_field::end_minute);
  if (!first_lesson_incomplete) return;
  for (int lesson = 1; lesson <= schema_table::lesson_count; ++lesson) blank_lesson(shema, day, lesson);
}

}  // namespace

void normalise_before_save(schema_table& shema) {
  for (int day = 1; day <= schema_table::day_count; ++day) drop_lessons_without_end(shema, day);
  for (int day = 1; day <= schema_table::day_count; ++day) drop_day_without_first_lesson(shema, day);
  for (int day = 1; day <= schema_table::day_count; ++day) {
    shema.field(day, schema_table::lesson_count, lesson_field::break_after).clear();
  }
}

}  // namespace velmira
