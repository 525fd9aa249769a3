#include "core/data_directory_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "core/data_file.hpp"

namespace velmira {

namespace fs = std::filesystem;

namespace {

// The holder's id as it wrote it; nothing when the file holds anything else
// (an older holder that died between truncating and writing).
std::optional<long> holder_in(int fd) {
  char text[32] = {};
  ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return std::nullopt;
  long pid = 0;
  auto [end, ec] = std::from_chars(text, text + n, pid);
  if (ec != std::errc() || pid <= 0) return std::nullopt;
  return pid;
}

int open_lock_file(const fs::path& data_dir, const fs::path& file) {
  std::error_code ignored;  // a directory that cannot be made fails the open just below
  fs::create_directories(data_dir, ignored);
  // Not O_TRUNC: the holder's id must survive a refused second opener.
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) throw data_file_error({errno, std::generic_category()}, file, "cannot open");
  return fd;
}

}  // namespace

data_directory_lock::data_directory_lock(const fs::path& data_dir)
    : file_(data_dir / lock_file_name), fd_(open_lock_file(data_dir, file_)) {
  if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) throw data_file_error({errno, std::generic_category()}, file_, "cannot lock");
    std::string text = "the data directory " + data_dir.string() + " is in use by another velmira process";
    if (auto pid = holder_in(fd_.get())) text += " (process " + std::to_string(*pid) + ")";
    throw data_directory_busy(text + "; its lock is " + file_.string());
  }
  // Only for the message above: the lock is the flock, not these bytes.
  auto pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_.get(), 0) == 0) {
    [[maybe_unused]] auto written = ::pwrite(fd_.get(), pid.data(), pid.size(), 0);
  }
}

}  // namespace velmira
