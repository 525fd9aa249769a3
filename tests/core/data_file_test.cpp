#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/data_file.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;
using lines_t = std::vector<std::string>;

struct split_case {
  std::string text;
  lines_t lines;
};

class SplitLines : public ::testing::TestWithParam<split_case> {};

TEST_P(SplitLines, EndsALineAtCrLfLfOrLoneCr) {
  EXPECT_EQ(split_lines(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitLines,
    ::testing::Values(split_case{"", {}}, split_case{"a", {"a"}},
                      split_case{"a\r\nb\r\n", {"a", "b"}}, split_case{"a\r\nb", {"a", "b"}},
                      split_case{"a\nb\n", {"a", "b"}}, split_case{"a\rb\r", {"a", "b"}},
                      split_case{"a\r\n\r\nb\r\n", {"a", "", "b"}},
                      split_case{"\r\n", {""}}, split_case{"\r\n\r\n", {"", ""}},
                      // LF CR is two endings, CR CR LF too: only CR LF is one.
                      split_case{"a\n\rb", {"a", "", "b"}},
                      split_case{"a\r\r\nb", {"a", "", "b"}},
                      split_case{"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
                      // Other control characters are text.
                      split_case{"a\x0b" "b\tc\r\n", {"a\x0b" "b\tc"}},
                      split_case{std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}}));

struct up_to_empty_case {
  lines_t lines;
  lines_t kept;
};

class LinesUpToEmpty : public ::testing::TestWithParam<up_to_empty_case> {};

TEST_P(LinesUpToEmpty, StopsBeforeTheFirstEmptyLine) {
  EXPECT_EQ(lines_up_to_empty(GetParam().lines), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinesUpToEmpty,
    ::testing::Values(up_to_empty_case{{"a", "b", "", "c", ""}, {"a", "b"}},
                      up_to_empty_case{{"a", "b"}, {"a", "b"}},
                      up_to_empty_case{{"", "a"}, {}}, up_to_empty_case{{}, {}},
                      // A line of one space is not empty.
                      up_to_empty_case{{"a", " ", "b"}, {"a", " ", "b"}}));

TEST(JoinLines, EndsEveryLineWithCrLf) {
  EXPECT_EQ(join_lines({}), "");
  EXPECT_EQ(join_lines({""}), "\r\n");
  EXPECT_EQ(join_lines({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST(JoinLines, SplitGivesTheLinesBack) {
  lines_t lines = {"first", "", "\xC4\xE0", "  spaced  ", ""};
  EXPECT_EQ(split_lines(join_lines(lines)), lines);
}

std::vector<std::string> entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  return names;
}

TEST(ReplaceFileAtomically, CreatesTheFileWithExactBytesAndNoLeftovers) {
  testing::temp_dir dir;
  std::string bytes("line\r\n\0\xFF\rend", 12);
  replace_file_atomically(dir.path() / "data.ini", bytes);
  EXPECT_EQ(dir.read("data.ini"), bytes);
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"data.ini"}));
}

TEST(ReplaceFileAtomically, ReplacesLongerContentWholly) {
  testing::temp_dir dir;
  dir.write("data.ini", std::string(10000, 'x'));
  replace_file_atomically(dir.path() / "data.ini", "short\r\n");
  EXPECT_EQ(dir.read("data.ini"), "short\r\n");
  replace_file_atomically(dir.path() / "data.ini", "");
  EXPECT_EQ(dir.read("data.ini"), "");
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"data.ini"}));
}

TEST(ReplaceFileAtomically, MissingFolderThrowsAndCreatesNothing) {
  testing::temp_dir dir;
  EXPECT_THROW(replace_file_atomically(dir.path() / "absent" / "data.ini", "x"), data_file_error);
  EXPECT_TRUE(entries(dir.path()).empty());
}

TEST(ReplaceFileAtomically, FailedReplaceLeavesTheOldFileAndNoTemporary) {
  testing::temp_dir dir;
  // A folder in the target's place cannot be renamed over.
  fs::create_directory(dir.path() / "data.ini");
  dir.write("data.ini/keep", "old");
  EXPECT_THROW(replace_file_atomically(dir.path() / "data.ini", "new"), data_file_error);
  EXPECT_EQ(dir.read("data.ini/keep"), "old");
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"data.ini"}));
}

TEST(ReadFile, MissingFileIsNothing) {
  testing::temp_dir dir;
  EXPECT_EQ(read_file(dir.path() / "absent.ini"), std::nullopt);
  EXPECT_EQ(read_lines(dir.path() / "absent.ini"), std::nullopt);
}

TEST(ReadFile, GivesTheRawBytes) {
  testing::temp_dir dir;
  std::string bytes("a\r\nb\0\xE0", 6);
  dir.write("f.ini", bytes);
  EXPECT_EQ(read_file(dir.path() / "f.ini"), bytes);
  dir.write("empty.ini", "");
  EXPECT_EQ(read_file(dir.path() / "empty.ini"), std::string());
}

TEST(ReadFile, LargeFileIsReadWhole) {
  testing::temp_dir dir;
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
  dir.write("big.ini", bytes);
  EXPECT_EQ(read_file(dir.path() / "big.ini"), bytes);
}

TEST(ReadFile, UnreadablePathThrows) {
  testing::temp_dir dir;
  fs::create_directory(dir.path() / "folder.ini");
  EXPECT_THROW(read_file(dir.path() / "folder.ini"), data_file_error);
}

TEST(ReadLines, SplitsTheFile) {
  testing::temp_dir dir;
  dir.write("f.ini", "a\r\nb\nc");
  EXPECT_EQ(read_lines(dir.path() / "f.ini"), (lines_t{"a", "b", "c"}));
}

}  // namespace
}  // namespace velmira
