#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/data_directory.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;

TEST(DataDirectory, TrustedPathMapsBackslashesToFolders) {
  data_directory data("/srv/velmira");
  EXPECT_EQ(data.file("raspisanie\\info.ini"), fs::path("/srv/velmira/raspisanie/info.ini"));
  EXPECT_EQ(data.file(from_utf8("menu\\Меню.ini")), fs::path("/srv/velmira/menu/Меню.ini"));
}

class CheckedFileRefuses : public ::testing::TestWithParam<std::string> {};

TEST_P(CheckedFileRefuses, PathsThatLeaveTheDirectoryOrCannotBeNames) {
  data_directory data("/srv/velmira");
  EXPECT_EQ(data.checked_file(GetParam()), std::nullopt) << "path '" << GetParam() << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckedFileRefuses,
    ::testing::Values("", "..", "../setting.ini", "..\\setting.ini", "raspisanie\\..\\..\\x",
                      "raspisanie/../users.ini", "/etc/passwd", "\\etc\\passwd", "C:x",
                      "C:\\Windows\\x.ini", "raspisanie\\c:x", std::string("a\0b", 3),
                      std::string("raspisanie\\\0", 12), "a\x01.ini", "a\tb", "a\nb", "a\x1f",
                      "a\x7f", "raspisanie\\\\x.ini", "raspisanie//x.ini", "raspisanie\\",
                      ".", "raspisanie\\.\\x"),
    testing::by_text);

TEST(DataDirectory, CheckedFileAcceptsNamesInsideTheTree) {
  data_directory data("/srv/velmira");
  EXPECT_EQ(data.checked_file("raspisanie\\5.9.23.ini2"), fs::path("/srv/velmira/raspisanie/5.9.23.ini2"));
  EXPECT_EQ(data.checked_file("menu\\5.9.23\\1.ini"), fs::path("/srv/velmira/menu/5.9.23/1.ini"));
  EXPECT_EQ(data.checked_file("users.ini"), fs::path("/srv/velmira/users.ini"));
  // Dots inside a name are not a parent reference.
  EXPECT_EQ(data.checked_file("a..b"), fs::path("/srv/velmira/a..b"));
  // Windows-1251 names end up UTF-8 on disk.
  EXPECT_EQ(data.checked_file(from_utf8("zvonok\\Обычный.ini")), fs::path("/srv/velmira/zvonok/Обычный.ini"));
}

TEST(DataDirectory, CreateTreeMakesTheContentFoldersAndKeepsExistingFiles) {
  testing::temp_dir dir;
  dir.write("raspisanie/kab.ini", "101/\r\n");
  data_directory data(dir.path());
  data.create_tree();
  for (const char* folder : {"zametki", "news", "menu", "remote", "raspisanie"}) {
    EXPECT_TRUE(fs::is_directory(dir.path() / folder)) << folder;
  }
  data.create_tree();
  EXPECT_EQ(dir.read("raspisanie/kab.ini"), "101/\r\n");
}

TEST(DataDirectory, TextPlaceholdersAreEmptiedEvenWhenTheyHeldText) {
  testing::temp_dir dir;
  data_directory data(dir.path());
  data.create_tree();
  dir.write("news/error.ini", "old text\r\n");
  data.reset_text_placeholders();
  EXPECT_EQ(dir.read("news/error.ini"), "");
  EXPECT_EQ(dir.read("zametki/error.ini"), "");
  EXPECT_FALSE(dir.exists("menu/error.ini"));
  EXPECT_FALSE(dir.exists("raspisanie/error.ini"));
}

TEST(DataDirectory, PlaceholderPagesReplaceTimetableAndMenuErrorFiles) {
  testing::temp_dir dir;
  data_directory data(dir.path());
  data.create_tree();
  dir.write("menu/error.ini", "old text that is longer than the page would be if it were short\r\n");
  dir.write("news/error.ini", "left alone\r\n");
  data.write_placeholder_pages();

  const std::string page =
      "<!DOCTYPE html>\r\n"
      "<html>\r\n"
      "<head>\r\n"
      "<style>\r\n"
      "  html { overflow:  hidden; }\r\n"
      "  div { height:  2000px; }\r\n"
      "    .test1 {font-weight: bold;\r\n"
      "           color: #0061B0;\r\n"
      "           text-align: center;\r\n"
      "           text-shadow: 1px 1px 3px #666666,\r\n"
      "                       -1px -1px 3px #FFFFFF;}\r\n"
      ".shadowtext {\r\n"
      "color: #0061B0;\r\n"
      "text-shadow: 2px 4px 3px rgba(0,97,176,0.3);\r\n"
      "text-align: center;\r\n"
      "}\r\n"
      "</style>\r\n"
      "</head>\r\n"
      "<body>\r\n"
      "<p class=\"shadowtext\"><b>"
      "\xD1\xEA\xEE\xF0\xEE"                                  // Скоро
      "!<br>"
      "\xCD\xE0 \xE2\xF1\xE5\xF5 \xFD\xEA\xF0\xE0\xED\xE0\xF5 "  // На всех экранах
      "\xF1\xEC\xE0\xF0\xF2\xF4\xEE\xED\xEE\xE2"              // смартфонов
      "!</b></p><br>\r\n"
      " </body>\r\n"
      "</html>\r\n";

  EXPECT_EQ(dir.read("raspisanie/error.ini"), page);
  EXPECT_EQ(dir.read("menu/error.ini"), page);
  EXPECT_EQ(placeholder_page(), page);
  EXPECT_EQ(dir.read("news/error.ini"), "left alone\r\n");
}

ino_t inode(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + path.string());
  return st.st_ino;
}

// Run on every start: once the files are right, a start writes nothing, so
// it needs no free space.
TEST(DataDirectory, PlaceholderStepsLeaveFilesThatAreAlreadyRight) {
  testing::temp_dir dir;
  data_directory data(dir.path());
  data.create_tree();
  data.reset_text_placeholders();
  data.write_placeholder_pages();
  const char* files[] = {"zametki/error.ini", "news/error.ini", "raspisanie/error.ini", "menu/error.ini"};
  std::vector<ino_t> before;
  for (const char* f : files) before.push_back(inode(dir.path() / f));

  data.reset_text_placeholders();
  data.write_placeholder_pages();
  for (size_t i = 0; i < std::size(files); ++i) EXPECT_EQ(inode(dir.path() / files[i]), before[i]) << files[i];
}

}  // namespace
}  // namespace velmira
