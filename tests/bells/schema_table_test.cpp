#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "bells/bell_files.hpp"
#include "bells/schema_table.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

using lesson = std::array<std::string, 6>;
using day_block = std::vector<lesson>;  // lessons 1 to 10

using testing::repeat;

const lesson blank_lesson = {" ", " ", " ", " ", " ", " "};

day_block day_of(std::vector<lesson> lessons) {
  lessons.resize(schema_table::lesson_count, blank_lesson);
  return lessons;
}

void put_day(schema_table& shema, int day, const day_block& block) {
  for (int i = 1; i <= schema_table::lesson_count; ++i) {
    for (int f = 1; f <= schema_table::fields_per_day; ++f) {
      shema.field(day, i, static_cast<lesson_field>(f)) = block[static_cast<size_t>(i - 1)][static_cast<size_t>(f - 1)];
    }
  }
}

day_block get_day(const schema_table& shema, int day) {
  day_block block(schema_table::lesson_count);
  for (int i = 1; i <= schema_table::lesson_count; ++i) {
    for (int f = 1; f <= schema_table::fields_per_day; ++f) {
      block[static_cast<size_t>(i - 1)][static_cast<size_t>(f - 1)] = shema.field(day, i, static_cast<lesson_field>(f));
    }
  }
  return block;
}

TEST(SchemaTable, StartsWithEveryFieldBlankAndResetRestoresThat) {
  schema_table shema;
  for (int i = 1; i <= 10; ++i) {
    for (int k = 1; k <= 42; ++k) ASSERT_EQ(shema.at(i, k), " ") << i << "," << k;
  }
  shema.at(1, 1) = "8";
  shema.at(10, 42) = "";
  shema.reset();
  EXPECT_EQ(shema, schema_table());
}

TEST(SchemaTable, DayFieldsMapToColumnsOfTheDayBlock) {
  schema_table shema;
  shema.field(3, 2, lesson_field::end_minute) = "15";   // (3 − 1) × 6 + 4
  shema.field(7, 10, lesson_field::break_after) = "5";  // the last column
  shema.field(1, 1, lesson_field::start_hour) = "8";
  EXPECT_EQ(shema.at(2, 16), "15");
  EXPECT_EQ(shema.at(10, 42), "5");
  EXPECT_EQ(shema.at(1, 1), "8");
  EXPECT_THROW(shema.at(11, 1), std::out_of_range);
  EXPECT_THROW(shema.at(1, 43), std::out_of_range);
  EXPECT_THROW(shema.field(8, 1, lesson_field::start_hour), std::out_of_range);
}

TEST(SchemaFile, FreshSchemaIsTenLinesOfFortyTwoBlanks) {
  const std::string line = repeat(" :", 42);
  ASSERT_EQ(line.size(), 84u);
  EXPECT_EQ(format_schema(schema_table()), repeat(line + "\r\n", 10));
  EXPECT_EQ(parse_schema(repeat(line + "\r\n", 10)), schema_table());
}

TEST(SchemaFile, ValuesAreWrittenAsHeldEachFollowedByAColon) {
  schema_table shema;
  put_day(shema, 1, day_of({{"8", "30", "9", "15", "45", "10"}}));
  const std::string first_line = "8:30:9:15:45:10:" + repeat(" :", 36) + "\r\n";
  EXPECT_EQ(format_schema(shema).substr(0, first_line.size()), first_line);
  EXPECT_EQ(parse_schema(format_schema(shema)), shema);
}

TEST(SchemaFile, LineWithTwentyColonsGivesTwentyValuesThenEmptyStrings) {
  std::string line;
  for (int k = 1; k <= 20; ++k) line += std::to_string(k) + ":";
  schema_table shema = parse_schema(line + "trailing text\r\n");
  for (int k = 1; k <= 20; ++k) EXPECT_EQ(shema.at(1, k), std::to_string(k));
  for (int k = 21; k <= 42; ++k) EXPECT_EQ(shema.at(1, k), "") << k;
}

TEST(SchemaFile, MissingAndColonFreeLinesReadAsEmptyAndLinesPastTenAreIgnored) {
  std::string text = repeat(" :", 42) + "\r\nno colon here\n";  // lines 1 and 2; 3 to 10 missing
  schema_table shema = parse_schema(text);
  EXPECT_EQ(shema.at(1, 42), " ");
  for (int i = 2; i <= 10; ++i) {
    for (int k = 1; k <= 42; ++k) ASSERT_EQ(shema.at(i, k), "") << i << "," << k;
  }

  std::string eleven_lines = repeat(repeat("1:", 42) + "\r", 10) + repeat("2:", 42) + "\r";
  EXPECT_EQ(parse_schema(eleven_lines).at(10, 42), "1");
}

// Day blocks before and after the normalisation that saving applies.
struct normalisation_case {
  std::string name;
  day_block before;
  day_block after;
};

void PrintTo(const normalisation_case& c, std::ostream* os) { *os << c.name; }

const lesson l1 = {"8", "30", "9", "15", "45", "10"};
const lesson l2 = {"9", "25", "10", "10", "45", "15"};
const lesson l3 = {"10", "25", "11", "05", "40", "10"};
const lesson l4 = {"11", "15", "12", "00", "45", "5"};

lesson with_break(lesson l, std::string value) {
  l[5] = std::move(value);
  return l;
}

day_block ten_lessons() {
  day_block block;
  for (int i = 0; i < 10; ++i) block.push_back({std::to_string(8 + i), "00", std::to_string(8 + i), "45", "45", "15"});
  return block;
}

day_block with_last_break_empty(day_block block) {
  block[9][5] = "";
  return block;
}

const std::vector<normalisation_case> normalisation_cases = {
    {"AllBlankDayStaysBlank", day_of({}), with_last_break_empty(day_of({}))},
    {"FullDayOnlyLosesLastBreak", ten_lessons(), with_last_break_empty(ten_lessons())},
    {"LessonFiveWithoutLengthDropsFiveToTenAndFoursBreak",
     day_of({l1, l2, l3, l4, {"12", "05", " ", " ", " ", "10"}, {" ", " ", " ", " ", "45", "10"}}),
     with_last_break_empty(day_of({l1, l2, l3, with_break(l4, " ")}))},
    {"FirstLessonWithoutLengthBlanksTheDay", day_of({{"8", "30", " ", " ", " ", "10"}, {" ", " ", " ", " ", "45", "10"}}),
     with_last_break_empty(day_of({}))},
    {"FirstLessonWithoutStartMinuteBlanksTheDay", day_of({{"8", " ", "9", "15", "45", "10"}, l2, l3}),
     with_last_break_empty(day_of({}))},
    {"FirstLessonWithoutStartHourBlanksTheDay", day_of({{" ", "30", "0", "45", "15", "5"}, l2}),
     with_last_break_empty(day_of({}))},
    // Past midnight the end hour matches no item and stays blank; that alone
    // does not drop the day.
    {"FirstLessonEndHourIsNotTested", day_of({{"23", "30", " ", "15", "45", "10"}}),
     with_last_break_empty(day_of({{"23", "30", " ", "15", "45", " "}}))},
    // Each lesson is judged on its own end hour; a gap does not cascade.
    {"GapDropsOnlyTheLessonWithoutEnd", day_of({l1, {"9", "25", " ", " ", " ", "15"}, l3}),
     with_last_break_empty(day_of({with_break(l1, " "), blank_lesson, with_break(l3, " ")}))},
    // Only the one-space string is blank: empty values, as a short file line
    // gives them, are kept as values.
    {"EmptyStringsAreNotBlanks", day_of({l1, {"", "", "", "", "", ""}}),
     with_last_break_empty(day_of({l1, {"", "", "", "", "", " "}}))},
};

class NormaliseBeforeSave : public ::testing::TestWithParam<normalisation_case> {};

// The case runs on each day in turn while a valid day sits on the other six,
// which must keep everything but their last break.
TEST_P(NormaliseBeforeSave, ActsOnEveryDayAndOnlyOnItsOwnBlock) {
  const auto& c = GetParam();
  for (int day = 1; day <= 7; ++day) {
    schema_table shema;
    for (int other = 1; other <= 7; ++other) put_day(shema, other, other == day ? c.before : ten_lessons());
    normalise_before_save(shema);
    for (int other = 1; other <= 7; ++other) {
      EXPECT_EQ(get_day(shema, other), other == day ? c.after : with_last_break_empty(ten_lessons()))
          << "case on day " << day << ", checking day " << other;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, NormaliseBeforeSave, ::testing::ValuesIn(normalisation_cases),
                         testing::by_name);

}  // namespace
}  // namespace velmira
