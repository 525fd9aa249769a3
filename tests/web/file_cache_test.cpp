#include "web/file_cache.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <system_error>

#include "core/data_file.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;

// A clock far ahead of the files' times, so every file the test writes is
// settled and kept; the stamps alone then decide what is read again.
std::chrono::system_clock::time_point an_hour_ahead() { return std::chrono::system_clock::now() + std::chrono::hours(1); }

class FileCache : public ::testing::Test {
 protected:
  fs::path path(const std::string& name) const { return tmp.path() / name; }

  std::string read(const std::string& name) {
    std::error_code error;
    auto bytes = cache.read(path(name), error);
    EXPECT_TRUE(bytes) << name << ": " << error.message();
    return bytes ? *bytes : std::string();
  }

  velmira::testing::temp_dir tmp;
  file_cache cache{tmp.path(), an_hour_ahead};
};

TEST_F(FileCache, KeepsASettledFileAndHandsOutTheSameBytes) {
  tmp.write("news.ini", "first\r\n");
  std::error_code error;
  auto first = cache.read(path("news.ini"), error);
  auto second = cache.read(path("news.ini"), error);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(*first, "first\r\n");
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(cache.kept_files(), 1u);
}

// Each change keeps as much of the old stamp as it can, so that only the
// part of the stamp named is left to tell the versions apart.
struct change_case {
  std::string name;
  std::function<void(const velmira::testing::temp_dir&, const fs::path&)> change;
  std::string expected;
};

void PrintTo(const change_case& c, std::ostream* os) { *os << c.name; }

class FileCacheChanges : public FileCache, public ::testing::WithParamInterface<change_case> {};

TEST_P(FileCacheChanges, ServeTheNewVersion) {
  const auto& c = GetParam();
  tmp.write("data.ini", "old text\r\n");
  ASSERT_EQ(read("data.ini"), "old text\r\n");
  ASSERT_EQ(cache.kept_files(), 1u);

  c.change(tmp, path("data.ini"));
  EXPECT_EQ(read("data.ini"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, FileCacheChanges,
    ::testing::Values(
        change_case{"ReplacedByRenameWithTheSameSizeAndTime",
                    [](const auto&, const fs::path& file) {
                      auto time = fs::last_write_time(file);
                      replace_file_atomically(file, "new text\r\n");
                      fs::last_write_time(file, time);
                    },
                    "new text\r\n"},
        change_case{"RewrittenInPlaceWithAnotherSize",
                    [](const auto& tmp, const fs::path& file) {
                      auto time = fs::last_write_time(file);
                      tmp.write("data.ini", "longer new text\r\n");
                      fs::last_write_time(file, time);
                    },
                    "longer new text\r\n"},
        change_case{"RewrittenInPlaceWithTheSameSizeAndANewTime",
                    [](const auto& tmp, const fs::path& file) {
                      auto time = fs::last_write_time(file);
                      tmp.write("data.ini", "new text\r\n");
                      fs::last_write_time(file, time + std::chrono::seconds(10));
                    },
                    "new text\r\n"}),
    testing::by_name);

TEST_F(FileCache, FailsAsReadingFromDiskDoes) {
  struct failure {
    const char* what;
    std::function<void()> make;
    std::errc expected;
  };
  tmp.write("data.ini", "text\r\n");
  read("data.ini");
  const failure failures[] = {
      {"removed", [&] { fs::remove(path("data.ini")); }, std::errc::no_such_file_or_directory},
      {"now a folder", [&] { fs::create_directory(path("data.ini")); }, std::errc::is_a_directory},
  };
  for (const auto& f : failures) {
    f.make();
    std::error_code error;
    EXPECT_EQ(cache.read(path("data.ini"), error), nullptr) << f.what;
    EXPECT_EQ(error, std::make_error_code(f.expected)) << f.what;
    EXPECT_EQ(cache.kept_files(), 0u) << f.what;
  }
}

// With the real clock a file just written is younger than the settle time:
// a second write within the same clock tick could leave size, times and
// inode as they were, so such a file is read from disk every time.
TEST(FileCacheSettling, AFreshlyWrittenFileIsReadAgainEvenWithItsStampRestored) {
  velmira::testing::temp_dir tmp;
  file_cache cache{tmp.path()};
  const auto file = tmp.path() / "data.ini";
  tmp.write("data.ini", "old text\r\n");
  const auto time = fs::last_write_time(file);
  std::error_code error;
  ASSERT_EQ(*cache.read(file, error), "old text\r\n");
  EXPECT_EQ(cache.kept_files(), 0u);

  tmp.write("data.ini", "new text\r\n");
  fs::last_write_time(file, time);
  EXPECT_EQ(*cache.read(file, error), "new text\r\n");
}

TEST_F(FileCache, AFileOverTheSizeLimitIsServedButNotKept) {
  tmp.write("big.ini", std::string(file_cache::max_file_bytes + 1, 'x'));
  EXPECT_EQ(read("big.ini").size(), file_cache::max_file_bytes + 1);
  EXPECT_EQ(cache.kept_files(), 0u);
}

// A kept file's stamp no longer matches once its path leads to another
// file, so the link is looked at like any other.
TEST_F(FileCache, AKeptFileTurnedIntoALinkIsRefusedAndForgotten) {
  tmp.write("data.ini", "old text\r\n");
  tmp.write("secret.ini", "secret");
  ASSERT_EQ(read("data.ini"), "old text\r\n");
  ASSERT_EQ(cache.kept_files(), 1u);
  fs::create_symlink("secret.ini", path("link.tmp"));
  fs::rename(path("link.tmp"), path("data.ini"));
  std::error_code error;
  EXPECT_EQ(cache.read(path("data.ini"), error), nullptr);
  EXPECT_EQ(error, file_cache::refused);
  EXPECT_EQ(cache.kept_files(), 0u);
}

// Each setup returns the path to read; the file it names holds "secret".
struct refusal_case {
  std::string name;
  std::function<fs::path(const velmira::testing::temp_dir&)> setup;
};

void PrintTo(const refusal_case& c, std::ostream* os) { *os << c.name; }

class FileCacheRefuses : public FileCache, public ::testing::WithParamInterface<refusal_case> {};

TEST_P(FileCacheRefuses, AndKeepsNothing) {
  const fs::path path = GetParam().setup(tmp);
  for (const char* time : {"first", "again"}) {
    std::error_code error;
    EXPECT_EQ(cache.read(path, error), nullptr) << time;
    EXPECT_EQ(error, file_cache::refused) << time;
  }
  EXPECT_EQ(cache.kept_files(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileCacheRefuses,
    ::testing::Values(
        refusal_case{"LinkToAFileBeside",
                     [](const auto& tmp) {
                       tmp.write("secret.ini", "secret");
                       fs::create_symlink("secret.ini", tmp.path() / "link.ini");
                       return tmp.path() / "link.ini";
                     }},
        refusal_case{"LinkedFolder",
                     [](const auto& tmp) {
                       tmp.write("real/secret.ini", "secret");
                       fs::create_directory_symlink(tmp.path() / "real", tmp.path() / "folder");
                       return tmp.path() / "folder" / "secret.ini";
                     }},
        // Out and back in again: still not beneath the root all the way.
        refusal_case{"ClimbingOutAndBack",
                     [](const auto& tmp) {
                       tmp.write("secret.ini", "secret");
                       return tmp.path() / ".." / tmp.path().filename() / "secret.ini";
                     }},
        // A folder whose name begins with the root's.
        refusal_case{"BesideTheRoot",
                     [](const auto& tmp) {
                       tmp.write("secret.ini", "secret");
                       return tmp.path().parent_path() / (tmp.path().filename().string() + "-other") / "data.ini";
                     }}),
    testing::by_name);

}  // namespace
}  // namespace velmira
