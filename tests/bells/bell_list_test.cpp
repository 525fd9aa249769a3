#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bells/bell_list.hpp"
#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {
namespace {

using names_t = std::vector<std::string>;

const std::string lessons_over = from_utf8("Уроки закончились.");
const std::string lessons_not_begun = from_utf8("Уроки еще не начались. Ожидайте.");

std::string list_file(const names_t& header, const names_t& names) {
  names_t lines = header;
  lines.insert(lines.end(), names.begin(), names.end());
  return join_lines(lines);
}

const names_t full_header = {"A1", "A2", "---", "B1", "B2", "---"};

TEST(BellListFile, TwelveNamesGiveTheFirstTen) {
  names_t names;
  for (int i = 1; i <= 12; ++i) names.push_back("S" + std::to_string(i));
  auto contents = parse_bell_list(list_file(full_header, names));
  EXPECT_EQ(contents.names, names_t(names.begin(), names.begin() + 10));
}

TEST(BellListFile, BlankLinesAmongNamesAreSkippedAndLinesPastSixteenNeverRead) {
  // Lines 7 to 16 hold eight names and two blanks; line 17 is not read even
  // though the list has room left.
  names_t names = {"S1", "", "S2", "S3", "S4", "", "S5", "S6", "S7", "S8", "S9"};
  auto contents = parse_bell_list(list_file(full_header, names));
  EXPECT_EQ(contents.names, (names_t{"S1", "S2", "S3", "S4", "S5", "S6", "S7", "S8"}));
}

TEST(BellListFile, HeaderGivesTheStatusTextsAndIgnoresLinesThreeAndSix) {
  auto contents = parse_bell_list(list_file({"A1", "A2", "x", "B1", "B2", "y"}, {from_utf8("Обычный")}));
  EXPECT_EQ(contents.texts.zakonch1, "A1");
  EXPECT_EQ(contents.texts.zakonch2, "A2");
  EXPECT_EQ(contents.texts.zakonch3, "B1");
  EXPECT_EQ(contents.texts.zakonch4, "B2");
  EXPECT_EQ(contents.names, names_t{from_utf8("Обычный")});
}

TEST(BellListFile, EmptyOrMissingStatusTextsTakeTheirDefaults) {
  auto short_file = parse_bell_list("A1\r\n\r\n");
  EXPECT_EQ(short_file.texts.zakonch1, "A1");
  EXPECT_EQ(short_file.texts.zakonch2, lessons_over);
  EXPECT_EQ(short_file.texts.zakonch3, lessons_not_begun);
  EXPECT_EQ(short_file.texts.zakonch4, lessons_not_begun);
  EXPECT_TRUE(short_file.names.empty());

  auto empty_file = parse_bell_list("");
  EXPECT_EQ(empty_file.texts.zakonch1, lessons_over);
  EXPECT_TRUE(empty_file.names.empty());
}

TEST(BellListFile, WritesHeaderWithSeparatorsThenNames) {
  status_texts texts{"A1", "A2", "B1", "B2"};
  EXPECT_EQ(format_bell_list(texts, {"S1", "S2"}), "A1\r\nA2\r\n---\r\nB1\r\nB2\r\n---\r\nS1\r\nS2\r\n");
  EXPECT_EQ(format_bell_list(texts, {}), "A1\r\nA2\r\n---\r\nB1\r\nB2\r\n---\r\n");
}

TEST(SchemaList, HoldsAtMostTenNames) {
  schema_list list;
  for (int i = 1; i <= 10; ++i) EXPECT_TRUE(list.append("S" + std::to_string(i)));
  EXPECT_TRUE(list.full());
  EXPECT_FALSE(list.append("S11"));
  EXPECT_EQ(list.size(), 10u);
  EXPECT_EQ(list.names().back(), "S10");

  names_t twelve(12, "x");
  list.assign(twelve);
  EXPECT_EQ(list.size(), 10u);
}

TEST(SchemaList, ContainsComparesExactlyAndCaseSensitively) {
  schema_list list;
  list.assign({"Winter", from_utf8("Зима")});
  EXPECT_TRUE(list.contains("Winter"));
  EXPECT_FALSE(list.contains("winter"));
  EXPECT_FALSE(list.contains(from_utf8("зима")));
  EXPECT_FALSE(list.contains("Winter "));
}

TEST(SchemaList, SelectionFollowsItsEntryAcrossRemovals) {
  schema_list list;
  list.assign({"A", "B", "C"});
  list.select(2);
  list.remove(0);
  EXPECT_EQ(list.selected_name(), "C");
  list.remove(1);
  EXPECT_EQ(list.selected(), std::nullopt);
  EXPECT_EQ(list.names(), names_t{"B"});
  EXPECT_THROW(list.select(1), std::out_of_range);
}

TEST(SchemaList, ExchangeMovesNamesButNotTheSelection) {
  schema_list list;
  list.assign({"A", "B", "C"});
  list.select(0);
  list.exchange(0, 1);
  EXPECT_EQ(list.names(), (names_t{"B", "A", "C"}));
  EXPECT_EQ(list.selected_name(), "B");
  EXPECT_THROW(list.exchange(2, 3), std::out_of_range);
}

}  // namespace
}  // namespace velmira
