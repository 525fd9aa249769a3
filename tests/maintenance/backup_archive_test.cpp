#include "maintenance/backup_archive.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/data_file.hpp"
#include "support/case_name.hpp"
#include "support/tar_gz.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;
using testing::make_cut_off_tar_gz;
using testing::make_tar_gz;
using testing::tar_entry;
using testing::tar_gz_contents;
using testing::temp_dir;

// Every file and folder under `root` as tar_gz_contents gives an archive's,
// symbolic links as "<link>".
std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    auto name = e.path().lexically_relative(root).generic_string();
    found[name] = e.is_symlink() ? "<link>" : e.is_directory() ? "<folder>" : *read_file(e.path());
  }
  return found;
}

// A data directory as a running server leaves it, with everything a backup
// must leave out beside the data.
struct school_directory {
  temp_dir dir;
  temp_dir outside;
  school_directory() {
    dir.write("setting.ini", "7001\r\n7002\r\n");
    dir.write("users.ini", "1;Учитель\r\n");
    dir.write("news/data.ini", "объявление\r\n");
    dir.write("raspisanie/5А/05.09.24.ini", "\xC0\xC1\r\n");  // a Cyrillic folder name, raw bytes inside
    fs::create_directories(dir.path() / "zvonok");
    dir.write("console.key", "0123456789abcdef0123456789abcdef\n");
    fs::permissions(dir.path() / "console.key", fs::perms::owner_read | fs::perms::owner_write);
    dir.write(".velmira.lock", "4242\n");
    dir.write("news/.data.ini.Ab12Cd", "half a rewrite");
    dir.write("velmira", "\x7F" "ELF the executable");
    dir.write("old-backup.tar.gz", "an archive written here earlier");
    outside.write("secret", "not school data");
    fs::create_symlink(outside.path() / "secret", dir.path() / "news" / "link.ini");
  }
  std::map<std::string, std::string> data() const {
    return {{"news", "<folder>"},
            {"news/data.ini", "объявление\r\n"},
            {"raspisanie", "<folder>"},
            {"raspisanie/5А", "<folder>"},
            {"raspisanie/5А/05.09.24.ini", "\xC0\xC1\r\n"},
            {"setting.ini", "7001\r\n7002\r\n"},
            {"users.ini", "1;Учитель\r\n"},
            {"zvonok", "<folder>"}};
  }
  backup_options options(bool with_key = false) const {
    return {.with_key = with_key, .left_out = {dir.path() / "old-backup.tar.gz"}};
  }
};

TEST(BackupArchive, HoldsTheDataAndNothingOfTheServersOwn) {
  school_directory school;
  EXPECT_EQ(tar_gz_contents(build_backup_archive(school.dir.path(), school.options())), school.data());
}

TEST(BackupArchive, TheKeyOnlyWhenAskedAndWithItsOwnerOnlyMode) {
  school_directory school;
  auto archive = build_backup_archive(school.dir.path(), school.options(true));
  auto expected = school.data();
  expected["console.key"] = "0123456789abcdef0123456789abcdef\n";
  EXPECT_EQ(tar_gz_contents(archive), expected);

  temp_dir restored;
  restore_backup_archive(archive, restored.path());
  EXPECT_EQ(fs::status(restored.path() / "console.key").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(restored.path() / "users.ini").permissions(), static_cast<fs::perms>(0644));
}

TEST(BackupArchive, RestoreGivesTheSameTreeBack) {
  school_directory school;
  auto archive = build_backup_archive(school.dir.path(), school.options());
  temp_dir restored;
  EXPECT_EQ(restore_backup_archive(archive, restored.path()), 4u);
  EXPECT_EQ(tree(restored.path()), school.data());
  EXPECT_EQ(remove_interrupted_writes(restored.path()), 0u);
}

TEST(BackupArchive, RestoreReplacesWhatItHoldsAndLeavesTheRest) {
  school_directory school;
  auto archive = build_backup_archive(school.dir.path(), school.options());
  school.dir.write("users.ini", "changed since\r\n");
  school.dir.write("news/later.ini", "added since\r\n");
  restore_backup_archive(archive, school.dir.path());
  EXPECT_EQ(school.dir.read("users.ini"), "1;Учитель\r\n");
  EXPECT_EQ(school.dir.read("news/later.ini"), "added since\r\n");
  EXPECT_EQ(school.dir.read(".velmira.lock"), "4242\n");
}

TEST(BackupArchive, AnArchiveMadeWithTarOfTheFolderIsTaken) {
  temp_dir restored;
  restore_backup_archive(make_tar_gz({{"./", tar_entry::folder},
                                      {"./news/", tar_entry::folder},
                                      {"./news/data.ini", tar_entry::file, "x\r\n"}}),
                         restored.path());
  EXPECT_EQ(tree(restored.path()), (std::map<std::string, std::string>{{"news", "<folder>"}, {"news/data.ini", "x\r\n"}}));
}

struct hostile_case {
  const char* name;
  std::vector<tar_entry> entries;
  friend void PrintTo(const hostile_case& c, std::ostream* out) { *out << c.name; }
};

// Each archive starts with a good file, so a restore that wrote entry by
// entry before checking the whole archive would show.
std::vector<tar_entry> after_a_good_file(std::vector<tar_entry> rest) {
  rest.insert(rest.begin(), {"setting.ini", tar_entry::file, "from the archive\r\n"});
  return rest;
}

class HostileArchive : public ::testing::TestWithParam<hostile_case> {};

TEST_P(HostileArchive, IsRefusedBeforeAnythingIsWritten) {
  temp_dir dir;
  dir.write("setting.ini", "as it was\r\n");
  const auto before = tree(dir.path());
  EXPECT_THROW(restore_backup_archive(make_tar_gz(after_a_good_file(GetParam().entries)), dir.path()),
               restore_refused);
  EXPECT_EQ(tree(dir.path()), before);
  EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escaped.ini"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileArchive,
    ::testing::Values(
        hostile_case{"absolute path", {{"/tmp/escaped.ini", tar_entry::file, "x"}}},
        hostile_case{"parent step", {{"../escaped.ini", tar_entry::file, "x"}}},
        hostile_case{"parent step inside", {{"news/../../escaped.ini", tar_entry::file, "x"}}},
        hostile_case{"parent folder", {{"..", tar_entry::folder}}},
        hostile_case{"control character", {{"news/a\nb.ini", tar_entry::file, "x"}}},
        hostile_case{"backslash", {{"news\\..\\..\\escaped.ini", tar_entry::file, "x"}}},
        hostile_case{"empty component", {{"news//data.ini", tar_entry::file, "x"}}},
        hostile_case{"symbolic link", {{"news", tar_entry::symlink, "", "/etc"}}},
        hostile_case{"link then a file through it",
                     {{"out", tar_entry::symlink, "", ".."}, {"out/escaped.ini", tar_entry::file, "x"}}},
        hostile_case{"hard link", {{"users.ini", tar_entry::hardlink, "", "/etc/shadow"}}},
        hostile_case{"device", {{"null", tar_entry::char_device}}},
        hostile_case{"pipe", {{"pipe", tar_entry::fifo}}},
        hostile_case{"the lock file", {{".velmira.lock", tar_entry::file, "1\n"}}},
        hostile_case{"a path twice", {{"setting.ini", tar_entry::file, "again"}}},
        hostile_case{"a file where a folder goes", {{"news", tar_entry::file, "x"}, {"news/data.ini", tar_entry::file}}},
        hostile_case{"a folder where a file was", {{"setting.ini/inner.ini", tar_entry::file, "x"}}},
        // Legal names whose temporary name, a dot and seven characters
        // longer, is not.
        hostile_case{"a name too long for its temporary",
                     {{"users.ini", tar_entry::file, "x"}, {std::string(250, 'z'), tar_entry::file, "x"}}},
        hostile_case{"a folder name too long", {{std::string(256, 'd') + "/data.ini", tar_entry::file, "x"}}},
        hostile_case{"a name that is not UTF-8", {{"news/\xC4\xE0.ini", tar_entry::file, "x"}}}),
    testing::by_name);

TEST(RestoreArchive, BytesThatAreNoGoodArchiveAreRefused) {
  temp_dir dir;
  // Bytes gzip cannot shrink, so that half the archive is half its data.
  std::string noise(100000, '\0');
  unsigned state = 1;
  for (auto& c : noise) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  auto good = make_tar_gz({{"setting.ini", tar_entry::file, noise}});
  for (const std::string& bytes : {std::string("plain text, no archive"), good.substr(0, good.size() / 2),
                                   make_tar_gz({}), make_tar_gz({{"news", tar_entry::folder}})}) {
    EXPECT_THROW(restore_backup_archive(bytes, dir.path()), restore_refused) << bytes.size() << " bytes";
  }
  EXPECT_TRUE(tree(dir.path()).empty());
}

TEST(RestoreArchive, WhatIsOnDiskMayNotLeadOutOfTheDirectory) {
  temp_dir outside;
  temp_dir dir;
  fs::create_directory_symlink(outside.path(), dir.path() / "news");
  dir.write("menu", "a file where the archive has a folder");
  for (const auto& entries : std::vector<std::vector<tar_entry>>{
           {{"news/data.ini", tar_entry::file, "x"}},
           {{"news", tar_entry::folder}},
           {{"menu/1.ini", tar_entry::file, "x"}},
       }) {
    EXPECT_THROW(restore_backup_archive(make_tar_gz(entries), dir.path()), restore_refused) << entries[0].name;
  }
  EXPECT_TRUE(tree(outside.path()).empty());
  EXPECT_EQ(dir.read("menu"), "a file where the archive has a folder");
}

TEST(RestoreArchive, ALinkInAFilesPlaceIsReplacedNotFollowed) {
  temp_dir outside;
  outside.write("secret", "untouched");
  temp_dir dir;
  fs::create_symlink(outside.path() / "secret", dir.path() / "users.ini");
  restore_backup_archive(make_tar_gz({{"users.ini", tar_entry::file, "restored"}}), dir.path());
  EXPECT_FALSE(fs::is_symlink(dir.path() / "users.ini"));
  EXPECT_EQ(dir.read("users.ini"), "restored");
  EXPECT_EQ(outside.read("secret"), "untouched");
}

TEST(RestoreArchive, RunAsRootHandsWhatItWritesToTheDirectorysOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  temp_dir dir;
  ASSERT_EQ(::chown(dir.path().c_str(), 4242, 4343), 0);
  restore_backup_archive(make_tar_gz({{"news/data.ini", tar_entry::file, "x"}, {"users.ini", tar_entry::file, "y"}}),
                         dir.path());
  for (const char* name : {"news", "news/data.ini", "users.ini"}) {
    struct stat st {};
    ASSERT_EQ(::lstat((dir.path() / name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_uid, 4242u) << name;
    EXPECT_EQ(st.st_gid, 4343u) << name;
  }
}

TEST(RestoreArchive, TheLongestNameWhoseTemporaryFitsIsRestored) {
  temp_dir dir;
  const auto longest = static_cast<std::size_t>(::pathconf(dir.path().c_str(), _PC_NAME_MAX));
  const std::string fits(longest - 8, 'z');
  EXPECT_EQ(restore_backup_archive(make_tar_gz({{fits, tar_entry::file, "x"}}), dir.path()), 1u);
  EXPECT_EQ(dir.read(fits), "x");
  EXPECT_THROW(restore_backup_archive(make_tar_gz({{fits + "z", tar_entry::file, "x"}}), dir.path()), restore_refused);
  EXPECT_EQ(tree(dir.path()), (std::map<std::string, std::string>{{fits, "x"}}));
}

// The peak resident memory of this process so far, in KiB.
long peak_memory_kib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  }
  return -1;
}

// Runs in a child of its own (EXPECT_EXIT), whose peak memory starts at
// what it holds and whose limits do not reach the test runner: 0 when the
// restore failed with `Refusal` and left `dir` as it was, within
// `memory_kib` more memory at its peak.
template <class Refusal>
int restore_fails_leaving_all(const std::string& archive, const temp_dir& dir, long memory_kib) {
  const auto before = tree(dir.path());
  const long peak_before = peak_memory_kib();
  try {
    restore_backup_archive(archive, dir.path());
    std::fprintf(stderr, "restored\n");
    return 1;
  } catch (const Refusal&) {
  }
  const long growth = peak_memory_kib() - peak_before;
  if (growth > memory_kib) {
    std::fprintf(stderr, "peak memory grew by %ld KiB\n", growth);
    return 2;
  }
  if (tree(dir.path()) != before) {
    std::fprintf(stderr, "the directory changed\n");
    return 3;
  }
  return 0;
}

// A file size limit makes writing a larger file fail, as a full disk would.
int restore_fails_writing_big_files(const std::string& archive, const temp_dir& dir) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit small{};
  small.rlim_cur = small.rlim_max = 1 << 20;
  ::setrlimit(RLIMIT_FSIZE, &small);
  return restore_fails_leaving_all<data_file_error>(archive, dir, 64 << 10);
}

TEST(RestoreArchive, AFailureWhileWritingLeavesTheDirectoryAsItWas) {
  temp_dir dir;
  dir.write("setting.ini", "as it was\r\n");
  dir.write("zvonok/spisok.ini", "list\r\n");
  // In name order: a new folder and a file in it, a file replaced, and one
  // too large to be written, which fails once the others are staged.
  const auto archive = make_tar_gz({{"menu/1.ini", tar_entry::file, "menu\r\n"},
                                    {"setting.ini", tar_entry::file, "from the archive\r\n"},
                                    {"zvonok/spisok.ini", tar_entry::file, std::string(2 << 20, 'x')}});
  EXPECT_EXIT(_exit(restore_fails_writing_big_files(archive, dir)), ::testing::ExitedWithCode(0), "");
}

TEST(RestoreArchive, ACutOffArchiveClaimingAHugeFileIsRefusedInBoundedMemory) {
  temp_dir dir;
  dir.write("setting.ini", "as it was\r\n");
  const auto archive =
      make_cut_off_tar_gz({{"users.ini", tar_entry::file, "from the archive\r\n"}}, "news/data.ini", 1000ll << 20);
  ASSERT_LT(archive.size(), 2048u);
  EXPECT_EXIT(_exit(restore_fails_leaving_all<restore_refused>(archive, dir, 64 << 10)), ::testing::ExitedWithCode(0),
              "");
}

}  // namespace
}  // namespace velmira
