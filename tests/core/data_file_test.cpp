#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/data_file.hpp"
#include "support/case_name.hpp"
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
                      split_case{std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}}),
    testing::by_text_of(&split_case::text));

struct up_to_empty_case {
  const char* name;
  lines_t lines;
  lines_t kept;
};

class LinesUpToEmpty : public ::testing::TestWithParam<up_to_empty_case> {};

TEST_P(LinesUpToEmpty, StopsBeforeTheFirstEmptyLine) {
  EXPECT_EQ(lines_up_to_empty(GetParam().lines), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinesUpToEmpty,
    ::testing::Values(up_to_empty_case{"EmptyLineInTheMiddle", {"a", "b", "", "c", ""}, {"a", "b"}},
                      up_to_empty_case{"NoEmptyLine", {"a", "b"}, {"a", "b"}},
                      up_to_empty_case{"EmptyFirstLine", {"", "a"}, {}}, up_to_empty_case{"NoLines", {}, {}},
                      // A line of one space is not empty.
                      up_to_empty_case{"OneSpaceIsNotEmpty", {"a", " ", "b"}, {"a", " ", "b"}}),
    testing::by_name);

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

TEST(ReplaceFileAtomically, GivesTheNewFileTheAskedPermissionsAndOwner) {
  testing::temp_dir dir;
  replace_file_atomically(dir.path() / "plain.ini", "x");
  replace_file_atomically(dir.path() / "secret.key", "x", {.permissions = 0600});
  EXPECT_EQ(fs::status(dir.path() / "plain.ini").permissions(), static_cast<fs::perms>(0644));
  EXPECT_EQ(fs::status(dir.path() / "secret.key").permissions(), static_cast<fs::perms>(0600));
  if (::geteuid() != 0) GTEST_SKIP() << "handing a file to another user needs root";
  replace_file_atomically(dir.path() / "theirs.ini", "x", {.owner = std::pair<uid_t, gid_t>{4242, 4343}});
  struct stat st {};
  ASSERT_EQ(::stat((dir.path() / "theirs.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4242u);
  EXPECT_EQ(st.st_gid, 4343u);
}

TEST(ReplaceFileAtomically, ARewriteKeepsTheModeAndOwnerTheFileHas) {
  testing::temp_dir dir;
  const auto path = dir.path() / "users.ini";
  dir.write("users.ini", "old");
  fs::permissions(path, static_cast<fs::perms>(0640));
  replace_file_atomically(path, "new", {.permissions = 0600});
  EXPECT_EQ(dir.read("users.ini"), "new");
  EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0640));
  if (::geteuid() != 0) GTEST_SKIP() << "a file of another user needs root";
  ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
  replace_file_atomically(path, "newer");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4242u);
  EXPECT_EQ(st.st_gid, 4343u);
}

// What tells a file rewritten in place or replaced from one left alone.
struct file_identity {
  ino_t inode;
  timespec modified;
  bool operator==(const file_identity& o) const {
    return inode == o.inode && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

file_identity identity(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + path.string());
  return {st.st_ino, st.st_mtim};
}

// An old modification time, so that a write in the same clock tick shows.
void age(const fs::path& path) {
  timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), old, 0) != 0) throw std::runtime_error("cannot age " + path.string());
}

TEST(ReplaceFileIfChanged, SameBytesLeaveTheFileUntouched) {
  for (std::string bytes : {std::string(), std::string("page\r\n\xC4\xE0\r\n")}) {
    testing::temp_dir dir;
    dir.write("error.ini", bytes);
    age(dir.path() / "error.ini");
    auto before = identity(dir.path() / "error.ini");
    EXPECT_FALSE(replace_file_if_changed(dir.path() / "error.ini", bytes));
    EXPECT_TRUE(identity(dir.path() / "error.ini") == before) << ::testing::PrintToString(bytes);
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"error.ini"}));
  }
}

TEST(ReplaceFileIfChanged, OtherBytesReplaceTheFile) {
  struct change {
    std::optional<std::string> old_bytes;  // nothing: the file is missing
    std::string new_bytes;
  };
  for (const auto& c : {change{std::nullopt, "new\r\n"}, change{"old\r\n", "new\r\n"},
                        change{"new\r\n and more", "new\r\n"}, change{"new", "new\r\n"},
                        change{"text", ""}}) {
    testing::temp_dir dir;
    if (c.old_bytes) dir.write("error.ini", *c.old_bytes);
    EXPECT_TRUE(replace_file_if_changed(dir.path() / "error.ini", c.new_bytes));
    EXPECT_EQ(dir.read("error.ini"), c.new_bytes);
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"error.ini"}));
  }
}

TEST(RemoveInterruptedWrites, RemovesOnlyTemporaryFilesOfAtomicWrites) {
  struct entry {
    const char* path;
    bool removed;
  };
  const entry files[] = {
      {".data.ini.Ab12Cd", true},
      {"news/.data.ini.zZ09aA", true},
      {"menu/01.09.24/.1.ini.QwErTy", true},
      {"zvonok/.Обычный.ini.x1Y2z3", true},
      {".x.ABCDEF", true},
      {".data.ini.Ab12C", false},     // five characters
      {".data.ini.Ab12Cde", false},   // seven
      {".data.ini.Ab_2Cd", false},    // not mkstemp's alphabet
      {"data.ini.Ab12Cd", false},     // no leading dot
      {"..Ab12Cd", false},            // no name
      {".data.iniAb12Cd", false},     // no dot before the six
      {".hidden", false},
      {"news/data.ini", false},
  };
  testing::temp_dir dir;
  for (const auto& f : files) dir.write(f.path, "x");
  // A folder and a symbolic link of that shape are not ours.
  dir.write("news/.folder.ini.Ab12Cd/kept.ini", "x");
  fs::create_symlink(dir.path() / "news/data.ini", dir.path() / ".link.ini.Ab12Cd");

  EXPECT_EQ(remove_interrupted_writes(dir.path()), 5u);
  for (const auto& f : files) EXPECT_NE(dir.exists(f.path), f.removed) << f.path;
  EXPECT_TRUE(dir.exists("news/.folder.ini.Ab12Cd/kept.ini"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / ".link.ini.Ab12Cd"));
}

TEST(RemoveInterruptedWrites, MissingDirectoryRemovesNothing) {
  testing::temp_dir dir;
  EXPECT_EQ(remove_interrupted_writes(dir.path() / "absent"), 0u);
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
