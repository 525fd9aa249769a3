#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "bells/bell_files.hpp"
#include "bells/bell_schedule.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;
using names_t = std::vector<std::string>;
using testing::list_file;
using testing::repeat;

const std::string blank_schema_file = repeat(repeat(" :", 42) + "\r\n", 10);

// A schema file whose line i holds "i" in every column.
std::string numbered_schema_file() {
  std::string text;
  for (int i = 1; i <= 10; ++i) text += repeat(std::to_string(i) + ":", 42) + "\r\n";
  return text;
}

class BellSchedule : public ::testing::Test {
 protected:
  BellSchedule() { fs::create_directories(dir.path() / "zvonok"); }

  std::vector<std::string> folder_entries(const std::string& folder) const {
    return testing::folder_entries(dir.path() / folder);
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  bell_schedule bells{data};
};

TEST_F(BellSchedule, LoadOfTwelveNamesKeepsTenAndMakesTheFirstCurrent) {
  names_t names;
  for (int i = 1; i <= 12; ++i) names.push_back("S" + std::to_string(i));
  dir.write("zvonok/spisok.ini", list_file(names));
  dir.write("zvonok/S1.ini", numbered_schema_file());

  EXPECT_EQ(bells.LoadSpisokLocal("zvonok"), std::nullopt);
  EXPECT_EQ(bells.list().names(), names_t(names.begin(), names.begin() + 10));
  EXPECT_EQ(bells.list().selected(), 0u);
  EXPECT_EQ(bells.texts().zakonch4, "B2");
  EXPECT_EQ(bells.shema().at(7, 42), "7");
}

TEST_F(BellSchedule, MissingListFileKeepsListAndTextsAndStillLoadsTheFirst) {
  bells.list().assign({"Kept"});
  bells.texts().zakonch1 = "old";
  dir.write("zvonok/Kept.ini", numbered_schema_file());

  EXPECT_EQ(bells.LoadSpisokLocal("zvonok"), std::nullopt);
  EXPECT_EQ(bells.list().names(), names_t{"Kept"});
  EXPECT_EQ(bells.texts().zakonch1, "old");
  EXPECT_EQ(bells.list().selected_name(), "Kept");
  EXPECT_EQ(bells.shema().at(3, 1), "3");
}

TEST_F(BellSchedule, LoadOfAnEmptyListSelectsNothingAndLeavesTheSchema) {
  bells.shema().at(1, 1) = "8";
  dir.write("zvonok/spisok.ini", list_file({}));
  bells.LoadSpisokLocal("zvonok");
  EXPECT_TRUE(bells.list().empty());
  EXPECT_EQ(bells.list().selected(), std::nullopt);
  EXPECT_EQ(bells.shema().at(1, 1), "8");
}

TEST_F(BellSchedule, RemoteDirectoryIsReadWithoutTouchingTheLocalOne) {
  dir.write("zvonok/spisok.ini", list_file({"Local"}));
  dir.write("remote/spisok.ini", list_file({"Remote"}));
  dir.write("remote/Remote.ini", numbered_schema_file());
  bells.LoadSpisokLocal("remote");
  EXPECT_EQ(bells.list().names(), names_t{"Remote"});
  EXPECT_EQ(bells.shema().at(2, 2), "2");
}

TEST_F(BellSchedule, SaveOfEmptyStatusTextsWritesAndKeepsTheDefaults) {
  bells.list().assign({from_utf8("Обычный"), "Short"});
  bells.texts().zakonch3 = "B1";
  bells.SaveSpisokLocal("zvonok");

  const std::string over = from_utf8("Уроки закончились.");
  const std::string not_begun = from_utf8("Уроки еще не начались. Ожидайте.");
  EXPECT_EQ(dir.read("zvonok/spisok.ini"),
            over + "\r\n" + over + "\r\n---\r\nB1\r\n" + not_begun + "\r\n---\r\n" + from_utf8("Обычный") + "\r\nShort\r\n");
  EXPECT_EQ(bells.texts().zakonch1, over);
  EXPECT_EQ(bells.texts().zakonch4, not_begun);
}

TEST_F(BellSchedule, SaveAndLoadOfTheListRoundTrip) {
  bells.list().assign({"S1", "S2"});
  bells.texts() = {"A1", "A2", "B1", "B2"};
  bells.SaveSpisokLocal("zvonok");
  bell_schedule other(data);
  other.LoadSpisokLocal("zvonok");
  EXPECT_EQ(other.list().names(), (names_t{"S1", "S2"}));
  EXPECT_EQ(other.texts().zakonch2, "A2");
  EXPECT_EQ(other.texts().zakonch3, "B1");
}

TEST_F(BellSchedule, NewSchemaFileIsAllBlankAndReplacesAnOldOne) {
  const std::string name = from_utf8("Сокращённый день");
  dir.write("zvonok/Сокращённый день.ini", numbered_schema_file() + "more\r\n");
  EXPECT_EQ(bells.CreateNewShema("zvonok", name), std::nullopt);
  EXPECT_EQ(dir.read("zvonok/Сокращённый день.ini"), blank_schema_file);

  bells.shema().at(5, 5) = "x";
  EXPECT_EQ(bells.LoadShema("zvonok", name), std::nullopt);
  EXPECT_EQ(bells.shema(), schema_table());
}

TEST_F(BellSchedule, LoadOfAMissingSchemaFileLeavesTheSchema) {
  bells.shema().at(1, 1) = "8";
  EXPECT_EQ(bells.LoadShema("zvonok", "Absent"), std::nullopt);
  EXPECT_EQ(bells.shema().at(1, 1), "8");
}

TEST_F(BellSchedule, LoadOverwritesEveryFieldEvenFromAShortFile) {
  bells.shema().at(9, 9) = "8";
  dir.write("zvonok/Short.ini", "1:2:\r\n");
  bells.LoadShema("zvonok", "Short");
  EXPECT_EQ(bells.shema().at(1, 2), "2");
  EXPECT_EQ(bells.shema().at(1, 3), "");
  EXPECT_EQ(bells.shema().at(9, 9), "");
}

TEST_F(BellSchedule, SaveWithoutSelectionDoesNothing) {
  bells.list().assign({"S1"});
  bells.shema().at(1, 1) = "8";
  EXPECT_EQ(bells.SaveSpisZvon("zvonok"), std::nullopt);
  EXPECT_EQ(folder_entries("zvonok"), std::vector<std::string>{});
  EXPECT_EQ(bells.shema().at(1, 1), "8");
}

TEST_F(BellSchedule, SaveWritesTheNormalisedSchemaOfTheSelectedEntry) {
  bells.list().assign({"S1", "S2"});
  bells.list().select(1);
  auto& shema = bells.shema();
  const char* monday_first[] = {"8", "30", "9", "15", "45", "10"};
  for (int f = 1; f <= 6; ++f) shema.field(1, 1, static_cast<lesson_field>(f)) = monday_first[f - 1];
  shema.field(2, 1, lesson_field::start_hour) = "8";  // Tuesday without length: dropped

  EXPECT_EQ(bells.SaveSpisZvon("zvonok"), std::nullopt);
  EXPECT_FALSE(dir.exists("zvonok/S1.ini"));
  const std::string line_one = "8:30:9:15:45: :" + repeat(" :", 36) + "\r\n";
  const std::string line_ten = repeat(" : : : : ::", 7) + "\r\n";
  EXPECT_EQ(dir.read("zvonok/S2.ini"), line_one + repeat(repeat(" :", 42) + "\r\n", 8) + line_ten);
  EXPECT_EQ(bells.shema(), parse_schema(dir.read("zvonok/S2.ini")));
}

class RefusedSchemaName : public BellSchedule, public ::testing::WithParamInterface<std::string> {};

TEST_P(RefusedSchemaName, IsRefusedWithAMessageAndTouchesNoFile) {
  const std::string& name = GetParam();
  dir.write("setting.ini", numbered_schema_file());
  dir.write("zvonok/spisok.ini", list_file({"S1"}));
  schema_table edited;
  edited.at(1, 1) = "8";
  bells.shema() = edited;

  auto refused = bells.CreateNewShema("zvonok", name);
  ASSERT_TRUE(refused.has_value());
  EXPECT_NE(refused->find("Название схемы"), std::string::npos) << *refused;
  EXPECT_EQ(bells.LoadShema("zvonok", name), refused);

  bells.list().assign({name});
  bells.list().select(0);
  EXPECT_EQ(bells.SaveSpisZvon("zvonok"), refused);
  EXPECT_EQ(bells.shema(), edited) << "a refused save must not normalise";

  EXPECT_EQ(folder_entries("zvonok"), std::vector<std::string>{"spisok.ini"});
  EXPECT_EQ(dir.read("zvonok/spisok.ini"), list_file({"S1"}));
  EXPECT_EQ(dir.read("setting.ini"), numbered_schema_file());
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedSchemaName,
                         ::testing::Values("", ".", "..", "a/b", "a\\b", "../setting", "..\\setting", "C:x",
                                           "a:b", "a\tb", "a\x1f", "a\x7f", std::string("a\0b", 3), "spisok",
                                           "Spisok"),
                         testing::by_text);

TEST_F(BellSchedule, ListNamingAFileOutsideTheFolderIsRefusedOnLoad) {
  dir.write("setting.ini", numbered_schema_file());
  dir.write("zvonok/spisok.ini", list_file({"..\\setting"}));
  auto refused = bells.LoadSpisokLocal("zvonok");
  EXPECT_TRUE(refused.has_value());
  EXPECT_EQ(bells.list().names(), names_t{"..\\setting"});
  EXPECT_EQ(bells.shema(), schema_table());
}

TEST(SchemaName, OrdinaryNamesAreAccepted) {
  for (std::string name : {std::string("a..b"), std::string("5.1"), from_utf8("Обычный день"), std::string(" x "),
                           std::string("..."), std::string("spisok2")}) {
    EXPECT_EQ(schema_name_refusal(name), std::nullopt) << name;
  }
}

TEST_F(BellSchedule, WriteErrorsThrow) {
  EXPECT_THROW(bells.CreateNewShema("remote", "S1"), data_file_error);  // remote/ does not exist
  EXPECT_THROW(bells.SaveSpisokLocal("remote"), data_file_error);
}

}  // namespace
}  // namespace velmira
