#include "core/data_directory_lock.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.hpp"

namespace velmira {
namespace {

using testing::temp_dir;

std::string refusal_for(const std::filesystem::path& dir) {
  try {
    data_directory_lock second(dir);
  } catch (const data_directory_busy& e) {
    return e.what();
  }
  return "";
}

TEST(DataDirectoryLock, ASecondHolderIsRefusedWithTheFirstOnesProcess) {
  temp_dir dir;
  data_directory_lock first(dir.path());
  auto refusal = refusal_for(dir.path());
  EXPECT_NE(refusal.find(dir.path().string()), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("(process " + std::to_string(::getpid()) + ")"), std::string::npos) << refusal;
}

TEST(DataDirectoryLock, IsFreeAgainOnceItsHolderIsGone) {
  temp_dir dir;
  { data_directory_lock first(dir.path()); }
  EXPECT_EQ(refusal_for(dir.path()), "");
}

TEST(DataDirectoryLock, AKilledHolderLeavesNoStaleLock) {
  temp_dir dir;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  if (child == 0) {
    data_directory_lock held(dir.path());
    char c = 'x';
    [[maybe_unused]] auto n = ::write(ready[1], &c, 1);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_NE(refusal_for(dir.path()).find("(process " + std::to_string(child) + ")"), std::string::npos);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(refusal_for(dir.path()), "");
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(DataDirectoryLock, MakesAMissingDirectory) {
  temp_dir dir;
  data_directory_lock lock(dir.path() / "new" / "data");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "new" / "data" / ".velmira.lock"));
}

}  // namespace
}  // namespace velmira
