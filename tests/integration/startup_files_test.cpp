// The executable starting on a data directory an earlier run left behind:
// temporary files of writes a crash interrupted, a disk with no space left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/data_file.hpp"
#include "integration/server_process.hpp"
#include "support/line_client.hpp"
#include "support/temp_dir.hpp"

namespace velmira::testing {
namespace {

namespace fs = std::filesystem;

const std::string tcp_started = ": запуск TCP сервера ...";

TEST(StartupFiles, TemporaryFilesOfInterruptedWritesAreGoneAfterStart) {
  temp_dir dir;
  dir.write("setting.ini", join_lines(settings_on_free_ports()));
  const std::vector<std::string> leftovers = {".setting.ini.Ab12Cd", "news/.data.ini.x1Y2z3",
                                              "zvonok/.Обычный.ini.QwErTy", "menu/05.09.24/.1.ini.zzzzzz"};
  const std::vector<std::string> others = {"news/data.ini.Ab12Cd", ".hidden", "news/.data.ini.Ab12C",
                                           "menu/.05.09.24.ini.Ab12C-", "zametki/.x.ini.Ab12Cd/kept"};
  for (const auto& f : leftovers) dir.write(f, "half");
  for (const auto& f : others) dir.write(f, "kept");

  server_process p(dir);
  ASSERT_NE(p.output_until(tcp_started).find(tcp_started), std::string::npos);
  for (const auto& f : leftovers) EXPECT_FALSE(dir.exists(f)) << f;
  for (const auto& f : others) EXPECT_EQ(dir.read(f), "kept") << f;
  p.signal(SIGTERM);
  EXPECT_EQ(p.wait_exit(), 0);
}

// A tmpfs of its own, unmounted when the test ends however it ends.
class small_disk {
 public:
  explicit small_disk(fs::path at) : at_(std::move(at)) {
    fs::create_directories(at_);
    if (::mount("tmpfs", at_.c_str(), "tmpfs", 0, "size=1m") != 0) {
      throw std::system_error(errno, std::generic_category(), "mount tmpfs");
    }
  }
  ~small_disk() { ::umount2(at_.c_str(), MNT_DETACH); }
  small_disk(const small_disk&) = delete;
  small_disk& operator=(const small_disk&) = delete;

 private:
  fs::path at_;
};

// Writes into `file` until the file system refuses; returns why it did.
int fill_up(const fs::path& file) {
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  std::string chunk(65536, 'x');
  int error = 0;
  while (error == 0) {
    if (::write(fd, chunk.data(), chunk.size()) < 0) error = errno;
  }
  ::close(fd);
  return error;
}

TEST(StartupFiles, ServerStartsAgainOnAFullDisk) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  temp_dir dir;
  small_disk disk(dir.path() / "data");
  auto settings = settings_on_free_ports();
  dir.write("data/setting.ini", join_lines(settings));
  const std::vector<std::string> args = {"--data-dir", (dir.path() / "data").string()};
  {
    server_process first(dir, args);
    ASSERT_NE(first.output_until(tcp_started).find(tcp_started), std::string::npos);
    first.signal(SIGTERM);
    ASSERT_EQ(first.wait_exit(), 0);
  }
  ASSERT_TRUE(dir.exists("data/menu/error.ini"));
  ASSERT_EQ(fill_up(dir.path() / "data" / "filler"), ENOSPC);

  server_process second(dir, args);
  auto out = second.output_until(tcp_started);
  ASSERT_NE(out.find(tcp_started), std::string::npos) << out;
  line_client c(static_cast<std::uint16_t>(std::stoi(settings.at(1))));
  c.send("conecZvon\r\n");
  EXPECT_EQ(c.read_bytes(5), "conec");
  second.signal(SIGTERM);
  EXPECT_EQ(second.wait_exit(), 0);
}

}  // namespace
}  // namespace velmira::testing
