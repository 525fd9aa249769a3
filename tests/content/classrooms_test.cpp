#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "content/classrooms.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;
using names_t = std::vector<std::string>;

class Classrooms : public ::testing::Test {
 protected:
  Classrooms() {
    fs::create_directories(dir.path() / "raspisanie");
    fs::create_directories(dir.path() / "remote");
  }

  void type(const std::string& text_utf8) { field.set_text(from_utf8(text_utf8)); }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  classrooms field{data};
};

TEST_F(Classrooms, TrailingSpacesAreRemovedAndLeadingOnesKept) {
  type("101\r\n  102  \r\nСпортзал");
  field.KabSave("raspisanie\\");
  EXPECT_EQ(dir.read("raspisanie/kab.ini"), from_utf8("101/  102/Спортзал/\r\n"));

  classrooms loaded(data);
  loaded.KabLoad("raspisanie\\");
  EXPECT_EQ(loaded.names(), (names_t{"101", "  102", from_utf8("Спортзал")}));
}

TEST_F(Classrooms, OnlyEmptyOrSpaceLinesWriteAnEmptyFile) {
  dir.write("raspisanie/kab.ini", "101/\r\n");
  type("\n \n   \n\n");
  field.KabSave("raspisanie\\");
  EXPECT_EQ(dir.read("raspisanie/kab.ini"), "");
  field.KabLoad("raspisanie\\");
  EXPECT_TRUE(field.names().empty());
}

TEST_F(Classrooms, SlashInANameSplitsItAtTheNextLoad) {
  type("12/1");
  field.KabSave("raspisanie\\");
  EXPECT_EQ(dir.read("raspisanie/kab.ini"), "12/1/\r\n");
  field.KabLoad("raspisanie\\");
  EXPECT_EQ(field.names(), (names_t{"12", "1"}));
}

TEST_F(Classrooms, NamesTheChannelCannotCarryAreRefused) {
  const std::pair<const char*, bool> cases[] = {
      {"101\r\n102", false}, {"101\r\nА|Б", true}, {"^", true}, {"101\r\n  ^  \r\n", true}, {"12/1", false}};
  for (const auto& [text, refused] : cases) {
    type(text);
    auto refusal = field.save_refusal();
    EXPECT_EQ(refusal.has_value(), refused) << text;
    if (refusal) EXPECT_EQ(*refusal, "Название кабинета не может содержать символы \"|\" и \"^\"");
  }
}

TEST_F(Classrooms, RemoteSaveWritesOnlyTheRemoteCopy) {
  type("101");
  field.KabSave("remote\\");
  EXPECT_EQ(dir.read("remote/kab.ini"), "101/\r\n");
  EXPECT_FALSE(dir.exists("raspisanie/kab.ini"));
}

TEST_F(Classrooms, LoadEmptiesTheFieldWhenTheFileIsMissing) {
  type("101");
  field.KabLoad("raspisanie\\");
  EXPECT_TRUE(field.names().empty());
}

TEST_F(Classrooms, LoadReadsTheFolderItIsGiven) {
  dir.write("raspisanie/kab.ini", "101/\r\n");
  dir.write("remote/kab.ini", "201/\r\n");
  field.KabLoad("remote\\");
  EXPECT_EQ(field.names(), names_t{"201"});
}

struct load_case {
  std::string name;
  std::string file;
  names_t names;
};

void PrintTo(const load_case& c, std::ostream* os) { *os << c.name; }

class ClassroomsLoad : public Classrooms, public ::testing::WithParamInterface<load_case> {};

TEST_P(ClassroomsLoad, ReadsTheNamesOfTheFirstLine) {
  dir.write("raspisanie/kab.ini", GetParam().file);
  type("previous");
  field.KabLoad("raspisanie\\");
  EXPECT_EQ(field.names(), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassroomsLoad,
    ::testing::Values(load_case{"EmptyNameBetweenSlashes", "101//102/\r\n", {"101", "", "102"}},
                      load_case{"TextAfterTheLastSlashIgnored", "101/102\r\n", {"101"}},
                      load_case{"SecondLineNeverRead", "101/\r\n102/\r\n", {"101"}},
                      load_case{"LineEndedByLfOnly", "101/\n102/\n", {"101"}},
                      load_case{"LineEndedByCrOnly", "101/\r102/\r", {"101"}},
                      load_case{"NoLineEnd", "101/102/", {"101", "102"}},
                      load_case{"EmptyFile", "", {}},
                      load_case{"EmptyFirstLine", "\r\n101/\r\n", {}},
                      load_case{"HtmlPageInsteadOfAList", placeholder_page(), {}},
                      load_case{"DoctypeAnywhereInTheLine", "101/x<!DOCTYPE html>/102/\r\n", {}},
                      load_case{"DoctypeOnlyOnALaterLine", "101/\r\n<!DOCTYPE html>\r\n", {"101"}},
                      load_case{"OtherCaseIsNoPage", "<!doctype html>/\r\n", {"<!doctype html>"}}),
    testing::by_name);

}  // namespace
}  // namespace velmira
