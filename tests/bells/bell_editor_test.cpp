#include "bells/bell_editor.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "bells/bell_files.hpp"
#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;
using enum lesson_field;
using names_t = std::vector<std::string>;
using testing::list_file;
using testing::repeat;
using row = std::array<std::string, 6>;  // one lesson of the grid, in column order
using rows = std::vector<row>;           // lessons 1 to 10

const row blank_row = {" ", " ", " ", " ", " ", " "};

const std::string too_long_name = "Слишком длинное название схемы: файл с таким именем создать нельзя";
const std::string reserved_name =
    "Такое название занято файлом сервера: схему нельзя назвать users, setting, kab, news или zametki";

struct pick {
  int lesson;
  lesson_field field;
  std::string text;
};

// The chain most tests build: 8:30, 45 + 10, 45 + 15, 40.
const std::vector<pick> chain_830 = {{1, start_hour, "8"}, {1, start_minute, "30"}, {1, length, "45"},
                                     {1, break_after, "10"}, {2, length, "45"},     {2, break_after, "15"},
                                     {3, length, "40"}};
const rows chain_830_rows = {{"8", "30", "9", "15", "45", "10"},
                             {"9", "25", "10", "10", "45", "15"},
                             {"10", "25", "11", "05", "40", " "}};

rows padded(rows r) {
  r.resize(schema_table::lesson_count, blank_row);
  return r;
}

std::string w(const char* utf8) { return from_utf8(utf8); }

// A schema file holding `lessons` on day `day` and blanks elsewhere.
std::string schema_file(int day, const rows& lessons) {
  schema_table shema;
  for (int i = 1; i <= static_cast<int>(lessons.size()); ++i) {
    for (int f = 1; f <= 6; ++f) shema.field(day, i, static_cast<lesson_field>(f)) = lessons[i - 1][f - 1];
  }
  return format_schema(shema);
}

struct push_record {
  names_t names;
  std::map<std::string, std::string> remote;  // the files of remote\ when the push was made
};

// 17 January 2024 is a Wednesday.
class BellEditor : public ::testing::Test {
 protected:
  BellEditor() {
    fs::create_directories(dir.path() / "zvonok");
    fs::create_directories(dir.path() / "remote");
  }

  // The list and its schema files in the mode's folder, loaded as at
  // start-up, and the page shown.
  void start_with(const names_t& names, const std::vector<std::string>& files = {}) {
    const std::string folder = editor.dop() + "/";
    dir.write(folder + "spisok.ini", list_file(names));
    // Names are Windows-1251; file names on disk are UTF-8.
    for (size_t i = 0; i < files.size(); ++i) dir.write(folder + to_utf8(names[i]) + ".ini", files[i]);
    EXPECT_TRUE(editor.LoadSpisokLocal(editor.dop()).messages.empty());
    editor.PageControl1Change();
  }

  void apply(const std::vector<pick>& picks) {
    for (const auto& p : picks) {
      ASSERT_TRUE(editor.sCombChange(p.lesson, p.field, p.text)) << p.lesson << "/" << static_cast<int>(p.field)
                                                                 << "=" << p.text;
    }
  }

  rows grid() const {
    rows r;
    for (int i = 1; i <= 10; ++i) {
      row& lesson = r.emplace_back();
      for (int f = 1; f <= 6; ++f) lesson[f - 1] = editor.comb(i, static_cast<lesson_field>(f)).text();
    }
    return r;
  }

  std::vector<std::string> folder_entries(const std::string& folder) const {
    return testing::folder_entries(dir.path() / folder);
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  bell_schedule bells{data};
  manual_clock clock{make_local(2024, 1, 17, 10, 0)};
  operating_mode mode = operating_mode::local;
  std::vector<push_record> pushes;
  bell_editor editor{bells, clock, [this] { return mode; },
                     [this](const names_t& names) {
                       auto& record = pushes.emplace_back(push_record{names, {}});
                       for (const auto& file : folder_entries("remote")) record.remote[file] = dir.read("remote/" + file);
                     }};
};

// --- the grid ------------------------------------------------------------

TEST(CombItems, EachFieldOffersItsFixedListAfterTheBlank) {
  const auto& hours = comb_items(end_hour);
  ASSERT_EQ(hours.size(), 25u);
  EXPECT_EQ(hours.front(), " ");
  EXPECT_EQ(hours[1], "0");
  EXPECT_EQ(hours.back(), "23");
  EXPECT_EQ(comb_items(start_minute), (names_t{" ", "00", "05", "10", "15", "20", "25", "30", "35", "40", "45", "50", "55"}));
  EXPECT_EQ(comb_items(length), (names_t{" ", "15", "20", "25", "30", "35", "40", "45", "50", "55"}));
  EXPECT_EQ(comb_items(break_after), (names_t{" ", "5", "10", "15", "20", "25", "30", "35", "40", "45", "50", "55"}));
}

struct chain_case {
  const char* name;
  std::vector<std::vector<pick>> steps;
  rows expected;  // lessons from 1; the rest must be blank
};

void PrintTo(const chain_case& c, std::ostream* os) { *os << c.name; }

class Recomputation : public BellEditor, public ::testing::WithParamInterface<chain_case> {};

TEST_P(Recomputation, WalksTheDayFromTheFirstStart) {
  start_with({"S"});
  for (const auto& step : GetParam().steps) apply(step);
  EXPECT_EQ(grid(), padded(GetParam().expected));
}

const std::vector<pick> chain_830_with_fourth = [] {
  auto picks = chain_830;
  picks.push_back({3, break_after, "5"});
  return picks;
}();

INSTANTIATE_TEST_SUITE_P(
    Cases, Recomputation,
    ::testing::Values(
        chain_case{"Example830", {chain_830}, chain_830_rows},
        chain_case{"BreakGivesTheNextStartOnly",
                   {chain_830_with_fourth},
                   {chain_830_rows[0], chain_830_rows[1], {"10", "25", "11", "05", "40", "5"}, {"11", "10", " ", " ", " ", " "}}},
        chain_case{"LongerFirstLessonMovesEveryLaterTime",
                   {chain_830, {{1, length, "55"}}},
                   {{"8", "30", "9", "25", "55", "10"}, {"9", "35", "10", "20", "45", "15"}, {"10", "35", "11", "15", "40", " "}}},
        chain_case{"ClearedBreakClearsEveryLaterLessonWhole", {chain_830_with_fourth, {{1, break_after, " "}}},
                   {{"8", "30", "9", "15", "45", " "}}},
        chain_case{"ClearedLengthClearsTheEndAndEveryLaterLesson", {chain_830, {{2, length, " "}}},
                   {chain_830_rows[0], {"9", "25", " ", " ", " ", "15"}}},
        chain_case{"ClearedFirstStartKeepsTheChainFromLessonTwo", {chain_830, {{1, start_hour, " "}}},
                   {blank_row, chain_830_rows[1], chain_830_rows[2]}},
        // 23:30 + 45 is 24:15: no hour item, so the end hour stays on 23.
        chain_case{"PastMidnightKeepsThePreviousEndHour",
                   {{{1, start_hour, "23"}, {1, start_minute, "30"}, {1, length, "15"}}, {{1, length, "45"}}},
                   {{"23", "30", "23", "15", "45", " "}}},
        chain_case{"PastMidnightFromABlankEndLeavesItBlank",
                   {{{1, start_hour, "23"}, {1, start_minute, "30"}, {1, length, "45"}}},
                   {{"23", "30", " ", "15", "45", " "}}},
        // The next start is taken from the end fields as they stand.
        chain_case{"NextStartUsesTheKeptEndHour",
                   {{{1, start_hour, "23"}, {1, start_minute, "30"}, {1, length, "15"}}, {{1, length, "45"}, {1, break_after, "10"}}},
                   {{"23", "30", "23", "15", "45", "10"}, {"23", "25", " ", " ", " ", " "}}},
        chain_case{"StartWithoutMinuteHasNoEnd", {{{1, start_hour, "8"}, {1, length, "45"}, {1, break_after, "10"}}},
                   {{"8", " ", " ", " ", "45", "10"}}}),
    testing::by_name);

TEST_F(BellEditor, RefusedChangesLeaveTheGridAsItWas) {
  start_with({"S"});
  apply(chain_830);
  const std::vector<pick> refused = {{1, end_hour, "10"},    {1, end_minute, "00"}, {2, start_hour, "9"},
                                     {2, start_minute, "30"}, {1, start_minute, "07"}, {1, length, "60"},
                                     {1, length, "10"},       {1, start_hour, "24"},  {1, break_after, "0"}};
  for (const auto& p : refused) {
    EXPECT_FALSE(editor.sCombChange(p.lesson, p.field, p.text)) << p.lesson << "/" << p.text;
  }
  EXPECT_EQ(grid(), padded(chain_830_rows));
}

TEST_F(BellEditor, EnabledFieldsFollowTheList) {
  for (int i = 1; i <= 10; ++i) {
    for (int f = 1; f <= 6; ++f) EXPECT_FALSE(editor.comb(i, static_cast<lesson_field>(f)).enabled) << i << "/" << f;
  }
  start_with({"S"});
  for (int i = 1; i <= 10; ++i) {
    for (int f = 1; f <= 6; ++f) {
      const bool expected = f == 5 || f == 6 || (i == 1 && f <= 2);
      EXPECT_EQ(editor.comb(i, static_cast<lesson_field>(f)).enabled, expected) << i << "/" << f;
    }
  }
}

// --- loading, selecting, days ---------------------------------------------

TEST_F(BellEditor, StartsOnTodayAndTheCaptionNamesIt) {
  EXPECT_EQ(editor.day(), 3);
  editor.PageControl1Change();
  EXPECT_EQ(editor.today_caption(), "c" + w("егодня Среда"));
  EXPECT_EQ(editor.today_caption().front(), 'c');  // Latin, not Cyrillic

  clock.set(make_local(2024, 1, 21, 23, 59));  // a Sunday
  EXPECT_EQ(editor.today_caption(), "c" + w("егодня Среда")) << "refreshed only on a page change";
  editor.PageControl1Change();
  EXPECT_EQ(editor.today_caption(), "c" + w("егодня Воскресенье"));
  EXPECT_EQ(editor.day(), 3) << "a page change keeps the day shown";
}

TEST(DayNames, NumbersOneToSevenAndNothingElse) {
  const std::vector<std::pair<int, const char*>> cases = {{0, ""},       {1, "Понедельник"}, {2, "Вторник"},
                                                          {3, "Среда"},  {4, "Четверг"},     {5, "Пятница"},
                                                          {6, "Суббота"}, {7, "Воскресенье"}, {8, ""}};
  for (const auto& [den, name] : cases) EXPECT_EQ(DenNed(den), from_utf8(name)) << den;
}

TEST_F(BellEditor, LoadShowsTodaysBlockOfTheFirstSchema) {
  start_with({"S1", "S2"}, {schema_file(3, chain_830_rows), schema_file(1, chain_830_rows)});
  EXPECT_EQ(editor.schemas().selected(), 0u);
  EXPECT_EQ(grid(), padded(chain_830_rows));

  editor.sListView2Click(1);
  EXPECT_EQ(grid(), padded({})) << "Wednesday of S2 is blank";
  editor.DenClick(1);
  EXPECT_EQ(grid(), padded(chain_830_rows));
}

TEST_F(BellEditor, SelectingASchemaAgainLosesUnsavedEdits) {
  start_with({"S"}, {schema_file(3, chain_830_rows)});
  apply({{1, length, "55"}});
  editor.sListView2Click(0);
  EXPECT_EQ(grid(), padded(chain_830_rows));

  apply({{1, length, "55"}});
  editor.sListView2Click(std::nullopt);  // a click beside the entries
  EXPECT_EQ(editor.comb(1, length).text(), "55");
  EXPECT_EQ(editor.schemas().selected(), std::nullopt);
}

TEST_F(BellEditor, EmptyLoadDisablesTheGroupAndOnlyAddingEnablesItAgain) {
  start_with({"S"}, {schema_file(3, chain_830_rows)});
  dir.write("zvonok/spisok.ini", list_file({}));
  editor.LoadSpisokLocal("zvonok");
  EXPECT_FALSE(editor.group_enabled());
  EXPECT_EQ(grid(), padded({}));
  EXPECT_FALSE(editor.sCombChange(1, length, "45"));

  dir.write("zvonok/spisok.ini", list_file({"S"}));
  editor.LoadSpisokLocal("zvonok");
  editor.PageControl1Change();
  EXPECT_FALSE(editor.group_enabled());
  EXPECT_EQ(grid(), padded(chain_830_rows));

  editor.set_name_field("T");
  editor.BitBtn6Click();
  EXPECT_TRUE(editor.group_enabled());
}

TEST_F(BellEditor, DaySwitchKeepsUnsavedEditsAndSaveWritesBothDays) {
  start_with({"S"}, {schema_file(1, {{"8", "00", "8", "45", "45", " "}})});
  editor.DenClick(1);
  apply({{1, start_minute, "30"}});  // Monday 8:30 – 9:15
  editor.DenClick(2);
  EXPECT_EQ(grid(), padded({})) << "Tuesday is empty";
  apply({{1, start_hour, "9"}, {1, start_minute, "00"}, {1, length, "40"}});
  editor.DenClick(1);
  EXPECT_EQ(grid(), padded({{"8", "30", "9", "15", "45", " "}}));
  EXPECT_FALSE(dir.read("zvonok/S.ini").starts_with("8:30:")) << "a day switch writes nothing";

  editor.BitBtn7Click();
  const std::string line_one = "8:30:9:15:45: :9:00:9:40:40: :" + repeat(" :", 30) + "\r\n";
  EXPECT_TRUE(dir.read("zvonok/S.ini").starts_with(line_one)) << dir.read("zvonok/S.ini");
}

TEST_F(BellEditor, CopyMenuTakesTheSourceFromTheSchemaNotTheGrid) {
  schema_table saved;
  saved.field(1, 1, start_hour) = "8";
  saved.field(2, 1, start_hour) = "9";
  saved.field(2, 1, start_minute) = "00";
  start_with({"S"}, {format_schema(saved)});
  editor.DenClick(1);
  apply({{1, start_minute, "30"}, {1, length, "45"}});

  editor.g1Click(1);  // onto itself: back to the stored Monday
  EXPECT_EQ(grid(), padded({{"8", " ", " ", " ", " ", " "}}));

  apply({{1, start_minute, "30"}, {1, length, "45"}});
  editor.g1Click(2);
  EXPECT_EQ(editor.day(), 1);
  EXPECT_EQ(grid(), padded({{"9", "00", " ", " ", " ", " "}}));
  EXPECT_EQ(bells.shema().field(1, 1, start_hour), "9");
  EXPECT_EQ(dir.read("zvonok/S.ini"), format_schema(saved)) << "nothing is written before Сохранить";
}

TEST_F(BellEditor, DaysOutsideTheWeekAreRefused) {
  start_with({"S"});
  EXPECT_THROW(editor.DenClick(0), std::out_of_range);
  EXPECT_THROW(editor.DenClick(8), std::out_of_range);
  EXPECT_THROW(editor.g1Click(8), std::out_of_range);
  EXPECT_EQ(editor.day(), 3);
}

// --- saving ---------------------------------------------------------------

TEST_F(BellEditor, SaveWritesTheExampleChainByteForByte) {
  start_with({"S"}, {schema_file(1, {{"8", "00", " ", " ", " ", " "}})});
  apply(chain_830);
  EXPECT_TRUE(editor.BitBtn7Click().messages.empty());

  // Monday's lesson 1 without an end is dropped with its whole day.
  auto line = [](const std::string& wednesday) { return repeat(" :", 12) + wednesday + repeat(" :", 24) + "\r\n"; };
  const std::string expected = line("8:30:9:15:45:10:") + line("9:25:10:10:45:15:") + line("10:25:11:05:40: :") +
                               repeat(line(repeat(" :", 6)), 6) + repeat(" : : : : ::", 7) + "\r\n";
  EXPECT_EQ(dir.read("zvonok/S.ini"), expected);
  EXPECT_EQ(grid(), padded(chain_830_rows));
  EXPECT_TRUE(pushes.empty());
}

TEST_F(BellEditor, StoredEmptyLastBreakLeavesItsFieldOnThePreviousItem) {
  start_with({"S"});
  apply({{1, start_hour, "8"}, {1, start_minute, "00"}});
  for (int i = 1; i <= 10; ++i) apply({{i, length, "40"}, {i, break_after, "5"}});
  ASSERT_EQ(grid()[9], (row{"14", "45", "15", "25", "40", "5"}));

  editor.BitBtn7Click();
  EXPECT_EQ(bells.shema().field(3, 10, break_after), "");
  EXPECT_EQ(editor.comb(10, break_after).text(), "5");
}

TEST_F(BellEditor, SaveWithoutSelectionDoesNothing) {
  start_with({"S"});
  editor.sListView2Click(std::nullopt);
  apply({{1, start_hour, "8"}});
  EXPECT_TRUE(editor.BitBtn7Click().messages.empty());
  EXPECT_EQ(folder_entries("zvonok"), names_t{"spisok.ini"});
  EXPECT_EQ(bells.shema(), schema_table());
}

// --- the list -------------------------------------------------------------

TEST_F(BellEditor, AddCreatesABlankSchemaAndMakesItCurrent) {
  start_with({"S"}, {schema_file(3, chain_830_rows)});
  editor.set_name_field("s");  // differs only in letter case: accepted
  EXPECT_TRUE(editor.BitBtn6Click().messages.empty());

  EXPECT_EQ(editor.schemas().names(), (names_t{"S", "s"}));
  EXPECT_EQ(editor.schemas().selected(), 1u);
  EXPECT_EQ(dir.read("zvonok/spisok.ini"), list_file({"S", "s"}));
  EXPECT_EQ(dir.read("zvonok/s.ini"), repeat(repeat(" :", 42) + "\r\n", 10));
  EXPECT_EQ(grid(), padded({}));
  EXPECT_EQ(editor.name_field(), "");
  EXPECT_TRUE(pushes.empty()) << "local mode sends nothing";
}

struct add_refusal {
  const char* name;
  int entries;
  std::string typed;
  std::vector<std::string> messages;
};

void PrintTo(const add_refusal& c, std::ostream* os) { *os << c.name; }

class AddRefusal : public BellEditor, public ::testing::WithParamInterface<add_refusal> {};

TEST_P(AddRefusal, ShowsItsMessagesAndChangesNothing) {
  names_t names;
  for (int i = 1; i <= GetParam().entries; ++i) names.push_back("S" + std::to_string(i));
  start_with(names);
  const auto files_before = folder_entries("zvonok");
  editor.set_name_field(GetParam().typed);

  auto reply = editor.BitBtn6Click();
  if (GetParam().messages.empty()) {
    ASSERT_EQ(reply.messages.size(), 1u);  // our refusal of a name that cannot be a file
    EXPECT_NE(reply.messages[0].find("Название схемы"), std::string::npos);
  } else {
    EXPECT_EQ(reply.messages, GetParam().messages);
  }
  EXPECT_EQ(editor.schemas().names(), names);
  EXPECT_EQ(dir.read("zvonok/spisok.ini"), list_file(names));
  EXPECT_EQ(folder_entries("zvonok"), files_before);
  EXPECT_EQ(editor.name_field(), GetParam().typed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddRefusal,
    ::testing::Values(add_refusal{"Existing", 2, "S2", {"Такое расписание уже существует"}},
                      add_refusal{"Eleventh", 10, "S11", {"Количество расписаний не должно быть более  10"}},
                      add_refusal{"EmptyNameOfTen", 10, "",
                                  {"Количество расписаний не должно быть более  10", "А название за Вас я писать буду?"}},
                      add_refusal{"EmptyName", 3, "", {"А название за Вас я писать буду?"}},
                      add_refusal{"ExistingOfTen", 10, "S1", {"Количество расписаний не должно быть более  10"}},
                      add_refusal{"NotAFileName", 1, "a/b", {}},
                      add_refusal{"TooLongForItsFile", 1, std::string(70000, 'z'), {too_long_name}},
                      add_refusal{"Reserved", 1, "users", {reserved_name}},
                      add_refusal{"ReservedInAnotherCase", 1, "ZaMetki", {reserved_name}}),
    testing::by_name);

struct move_case {
  const char* name;
  std::size_t selected;
  int step;
  names_t expected;
  std::size_t selected_after;
};

void PrintTo(const move_case& c, std::ostream* os) { *os << c.name; }

class Move : public BellEditor, public ::testing::WithParamInterface<move_case> {};

TEST_P(Move, ExchangesWithTheNeighbourOrChangesNothingAtTheEnds) {
  const names_t names = {"A", "B", "C"};
  start_with(names, {schema_file(3, chain_830_rows), schema_file(3, {}), schema_file(3, {})});
  editor.sListView2Click(GetParam().selected);
  editor.N10Click(GetParam().step);
  EXPECT_EQ(editor.schemas().names(), GetParam().expected);
  EXPECT_EQ(editor.schemas().selected(), GetParam().selected_after);
  EXPECT_EQ(dir.read("zvonok/spisok.ini"), list_file(GetParam().expected));
  EXPECT_EQ(folder_entries("zvonok"), (names_t{"A.ini", "B.ini", "C.ini", "spisok.ini"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, Move,
                         ::testing::Values(move_case{"FirstUp", 0, -1, {"A", "B", "C"}, 0},
                                           move_case{"LastDown", 2, +1, {"A", "B", "C"}, 2},
                                           move_case{"FirstDown", 0, +1, {"B", "A", "C"}, 1},
                                           move_case{"LastUp", 2, -1, {"A", "C", "B"}, 1}),
                         testing::by_name);

TEST_F(BellEditor, MovedSchemaStaysCurrent) {
  start_with({"A", "B"}, {schema_file(3, chain_830_rows), schema_file(3, {})});
  editor.N10Click(+1);
  EXPECT_EQ(editor.schemas().selected_name(), "A");
  EXPECT_EQ(grid(), padded(chain_830_rows));
}

TEST_F(BellEditor, RenameRefusalsKeepTheWindowOpen) {
  start_with({"A", "B"}, {schema_file(3, {}), schema_file(3, {})});
  editor.N12Click();
  ASSERT_TRUE(editor.rename_window_state());
  EXPECT_EQ(editor.rename_window_state()->old_name, "A");

  const std::vector<std::pair<std::string, const char*>> cases = {
      {"A", "Такое название схемы расписания уже существует"},
      {"B", "Такое название схемы расписания уже существует"},
      {"", "Название не может быть пустым"},
      {std::string(70000, 'z'), too_long_name.c_str()},
      {"Setting", reserved_name.c_str()}};
  for (const auto& [name, message] : cases) {
    EXPECT_EQ(editor.Form4Button1Click(name).messages, names_t{message}) << name;
    EXPECT_TRUE(editor.rename_window_state()) << name;
  }
  EXPECT_EQ(editor.Form4Button1Click("x\\y").messages.size(), 1u);
  EXPECT_TRUE(editor.rename_window_state());
  EXPECT_EQ(editor.schemas().names(), (names_t{"A", "B"}));
  EXPECT_EQ(folder_entries("zvonok"), (names_t{"A.ini", "B.ini", "spisok.ini"}));
}

// The file and the temporary name of its rewrite, "." + name + ".ini" +
// ".XXXXXX", must fit the folder's file system, in UTF-8 as on disk.
TEST_F(BellEditor, TheLongestNameItsFileCanHaveIsTakenAndOneMoreIsRefused) {
  start_with({"A"}, {schema_file(3, {})});
  const auto longest = static_cast<std::size_t>(::pathconf((dir.path() / "zvonok").c_str(), _PC_NAME_MAX));
  const std::string fits(longest - 12, 'a');
  editor.set_name_field(fits);
  EXPECT_TRUE(editor.BitBtn6Click().messages.empty());
  EXPECT_TRUE(dir.exists("zvonok/" + fits + ".ini"));
  // Fewer letters than that, but two bytes each in UTF-8.
  editor.set_name_field(repeat(w("я"), static_cast<int>((longest - 12) / 2 + 1)));
  EXPECT_EQ(editor.BitBtn6Click().messages, names_t{too_long_name});
  editor.N12Click();
  EXPECT_EQ(editor.Form4Button1Click(fits + "a").messages, names_t{too_long_name});
  EXPECT_EQ(editor.schemas().names(), (names_t{"A", fits}));
}

// A master's list may already name one: its file under remote\ is the copy
// of the master's own file, which the editor neither reads as a schema nor
// overwrites nor sends as one.
TEST_F(BellEditor, InRemoteModeAReservedNameOfTheMastersListLeavesTheCopyOfItsFileAlone) {
  mode = operating_mode::remote;
  dir.write("remote/users.ini", "Teacher$1$$r$t$secret$$$$\r\n");
  start_with({"A", "users"}, {schema_file(3, chain_830_rows)});
  EXPECT_EQ(editor.sListView2Click(1).messages, names_t{reserved_name});
  EXPECT_EQ(grid(), padded(chain_830_rows)) << "the schema shown stays";
  EXPECT_EQ(editor.BitBtn7Click().messages, names_t{reserved_name});
  editor.N10Click(-1);
  ASSERT_EQ(pushes.size(), 1u);
  EXPECT_EQ(pushes[0].names, names_t{"A"});
  EXPECT_EQ(dir.read("remote/users.ini"), "Teacher$1$$r$t$secret$$$$\r\n");
}

TEST_F(BellEditor, RenameMovesTheFileAndKeepsTheEditsShown) {
  start_with({"A", "B"}, {schema_file(3, chain_830_rows), schema_file(3, {})});
  apply({{1, length, "55"}});
  editor.N12Click();
  const std::string name = w("Короткий день");
  EXPECT_TRUE(editor.Form4Button1Click(name).messages.empty());

  EXPECT_FALSE(editor.rename_window_state());
  EXPECT_EQ(editor.schemas().names(), (names_t{name, "B"}));
  EXPECT_EQ(dir.read("zvonok/spisok.ini"), list_file({name, "B"}));
  EXPECT_EQ(dir.read("zvonok/Короткий день.ini"), schema_file(3, chain_830_rows));
  EXPECT_FALSE(dir.exists("zvonok/A.ini"));
  EXPECT_EQ(editor.comb(1, length).text(), "55") << "the schema is not reloaded";
}

TEST_F(BellEditor, RenameOfAnEntryWithoutItsFileStillRenamesTheEntry) {
  start_with({"A"});
  editor.N12Click();
  EXPECT_TRUE(editor.Form4Button1Click("B").messages.empty());
  EXPECT_EQ(editor.schemas().names(), names_t{"B"});
  EXPECT_EQ(folder_entries("zvonok"), names_t{"spisok.ini"});
}

TEST_F(BellEditor, DeleteAsksFirstAndOnlyYesDeletes) {
  const std::string name = w("Основное");
  start_with({name, "B"}, {schema_file(3, {}), schema_file(3, chain_830_rows)});
  auto asked = editor.E1Click();
  EXPECT_EQ(asked.question, "Вы действительно хотите удалить расписание\nОсновное");
  EXPECT_EQ(editor.schemas().names(), (names_t{name, "B"}));

  EXPECT_FALSE(editor.E1Click(operator_answer::no).question);
  EXPECT_EQ(editor.schemas().names(), (names_t{name, "B"}));
  EXPECT_TRUE(dir.exists("zvonok/Основное.ini"));

  editor.E1Click(operator_answer::yes);
  EXPECT_EQ(editor.schemas().names(), names_t{"B"});
  EXPECT_EQ(editor.schemas().selected(), 0u);
  EXPECT_EQ(grid(), padded(chain_830_rows)) << "the first remaining schema is current";
  EXPECT_EQ(folder_entries("zvonok"), (names_t{"B.ini", "spisok.ini"}));
  EXPECT_TRUE(editor.group_enabled());
}

TEST_F(BellEditor, DeletingTheLastSchemaLeavesAnEmptyDisabledEditor) {
  start_with({"A"}, {schema_file(3, chain_830_rows)});
  editor.E1Click(operator_answer::yes);
  EXPECT_TRUE(editor.schemas().empty());
  EXPECT_FALSE(editor.group_enabled());
  EXPECT_EQ(grid(), padded({}));
  for (int f = 1; f <= 6; ++f) EXPECT_FALSE(editor.comb(1, static_cast<lesson_field>(f)).enabled);
  EXPECT_EQ(dir.read("zvonok/spisok.ini"), "A1\r\nA2\r\n---\r\nB1\r\nB2\r\n---\r\n");
  EXPECT_EQ(folder_entries("zvonok"), names_t{"spisok.ini"});
  EXPECT_EQ(editor.week_preview()[2][0], std::nullopt);
}

TEST_F(BellEditor, OperationsWithoutASelectionDoNothing) {
  start_with({"A", "B"});
  editor.sListView2Click(std::nullopt);
  const std::string list_before = dir.read("zvonok/spisok.ini");
  EXPECT_FALSE(editor.E1Click().question);
  editor.E1Click(operator_answer::yes);
  editor.N10Click(+1);
  editor.N12Click();
  EXPECT_FALSE(editor.rename_window_state());
  EXPECT_EQ(editor.schemas().names(), (names_t{"A", "B"}));
  EXPECT_EQ(dir.read("zvonok/spisok.ini"), list_before);
}

// --- remote mode ----------------------------------------------------------

TEST_F(BellEditor, RemoteModeWritesTheCopiesAndPushesAfterEveryChange) {
  mode = operating_mode::remote;
  start_with({"A", "B"}, {schema_file(3, chain_830_rows), schema_file(3, {})});
  const std::string local_list = list_file({"Local"});
  dir.write("zvonok/spisok.ini", local_list);

  struct step {
    const char* name;
    std::function<void()> run;
    names_t names_after;
  };
  const std::vector<step> steps = {
      {"add", [&] { editor.set_name_field("C"); editor.BitBtn6Click(); }, {"A", "B", "C"}},
      {"move", [&] { editor.N10Click(-1); }, {"A", "C", "B"}},
      {"save", [&] { apply(chain_830); editor.BitBtn7Click(); }, {"A", "C", "B"}},
      {"rename", [&] { editor.N12Click(); editor.Form4Button1Click("D"); }, {"A", "D", "B"}},
      {"delete", [&] { editor.E1Click(operator_answer::yes); }, {"A", "B"}},
  };
  for (const auto& s : steps) {
    pushes.clear();
    s.run();
    ASSERT_EQ(pushes.size(), 1u) << s.name;
    EXPECT_EQ(pushes[0].names, s.names_after) << s.name;
    // Every file the push sends is written before it.
    EXPECT_EQ(pushes[0].remote["spisok.ini"], list_file(s.names_after)) << s.name;
    for (const auto& name : s.names_after) EXPECT_TRUE(pushes[0].remote.contains(name + ".ini")) << s.name << " " << name;
    if (s.name == std::string("save")) {
      EXPECT_TRUE(pushes[0].remote["C.ini"].starts_with(repeat(" :", 12) + "8:30:9:15:45:10:")) << pushes[0].remote["C.ini"];
    }
  }
  EXPECT_EQ(dir.read("zvonok/spisok.ini"), local_list);
  EXPECT_EQ(folder_entries("zvonok"), names_t{"spisok.ini"});
  EXPECT_EQ(folder_entries("remote"), (names_t{"A.ini", "B.ini", "spisok.ini"}));
}

// --- the week preview -----------------------------------------------------

TEST_F(BellEditor, WeekPreviewShowsWhatASaveWouldWriteAndChangesNothing) {
  schema_table saved;
  const row monday = {"8", "00", "8", "45", "45", "5"};
  for (int f = 1; f <= 6; ++f) saved.field(1, 1, static_cast<lesson_field>(f)) = monday[f - 1];
  saved.field(2, 1, start_hour) = "9";  // Tuesday without an end: dropped on save
  start_with({"S"}, {format_schema(saved)});
  apply(chain_830);  // Wednesday, not saved
  const schema_table before = bells.shema();

  const auto week = editor.week_preview();
  EXPECT_EQ(week[0][0], (lesson_span{"8:00", "8:45"}));
  EXPECT_EQ(week[0][1], std::nullopt);
  EXPECT_EQ(week[1][0], std::nullopt);
  EXPECT_EQ(week[2][0], (lesson_span{"8:30", "9:15"}));
  EXPECT_EQ(week[2][1], (lesson_span{"9:25", "10:10"}));
  EXPECT_EQ(week[2][2], (lesson_span{"10:25", "11:05"}));
  EXPECT_EQ(week[2][3], std::nullopt);
  for (int d = 3; d < 7; ++d) EXPECT_EQ(week[d][0], std::nullopt) << d;

  EXPECT_EQ(bells.shema(), before);
  EXPECT_EQ(grid(), padded(chain_830_rows));
  EXPECT_EQ(dir.read("zvonok/S.ini"), format_schema(saved));
}

TEST_F(BellEditor, WeekPreviewOfALessonPastMidnightLeavesItsEndOpen) {
  start_with({"S"});
  apply({{1, start_hour, "23"}, {1, start_minute, "30"}, {1, length, "45"}});
  EXPECT_EQ(editor.week_preview()[2][0], (lesson_span{"23:30", ""}));
}

}  // namespace
}  // namespace velmira
