#include "web/file_cache.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "core/unique_fd.hpp"

namespace velmira {

namespace fs = std::filesystem;

namespace {

long long nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

std::error_code last_error() { return {errno, std::generic_category()}; }

// glibc has no wrapper for openat2. O_NONBLOCK keeps a FIFO, should one be
// put in the data directory, from holding the open until a writer comes.
int open_beneath(int root, const char* relative) {
  open_how how{};
  how.flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  return static_cast<int>(::syscall(SYS_openat2, root, relative, &how, sizeof how));
}

// Everything `fd` has to give, `expected_size` bytes most likely.
std::optional<std::string> read_all(int fd, std::size_t expected_size, std::error_code& error) {
  std::string bytes;
  bytes.reserve(expected_size);
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = last_error();
      return std::nullopt;
    }
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string without_trailing_slashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

file_cache::file_cache(fs::path root, clock now)
    : root_(without_trailing_slashes(std::move(root).native())), now_(std::move(now)) {}

std::optional<file_cache::stamp> file_cache::regular_file_stamp(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return std::nullopt;
  return stamp{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

std::optional<file_cache::stamp> file_cache::stamp_of(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return regular_file_stamp(st);
}

std::optional<file_cache::stamp> file_cache::stamp_of(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return regular_file_stamp(st);
}

int file_cache::open_beneath_root(const fs::path& path, std::error_code& error) const {
  const std::string& full = path.native();
  if (full.size() <= root_.size() + 1 || !full.starts_with(root_) || full[root_.size()] != '/') {
    error = std::make_error_code(refused);
    return -1;
  }
  unique_fd root(::open(root_.empty() ? "/" : root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (root.get() < 0) {
    error = last_error();
    return -1;
  }
  int fd = open_beneath(root.get(), full.c_str() + root_.size() + 1);
  if (fd >= 0) return fd;
  // ELOOP: a link on the way; EXDEV: the path would climb out of the root.
  error = errno == ELOOP || errno == EXDEV ? std::make_error_code(refused) : last_error();
  return -1;
}

std::shared_ptr<const std::string> file_cache::read(const fs::path& path, std::error_code& error) {
  const std::string& key = path.native();
  if (auto on_disk = stamp_of(path)) {
    if (auto bytes = kept(key, *on_disk)) return bytes;
  }
  unique_fd file(open_beneath_root(path, error));
  std::optional<std::string> bytes;
  std::optional<stamp> before;
  if (file.get() >= 0) {
    before = stamp_of(file.get());
    bytes = read_all(file.get(), before ? static_cast<std::size_t>(before->size) : 0, error);
  }
  if (!bytes) {
    forget(key);
    return nullptr;
  }
  auto shared = std::make_shared<const std::string>(std::move(*bytes));
  // Bytes are kept only when they belong to one known version: a file that
  // changed while it was read would otherwise be kept under a stamp that
  // is not its own.
  bool one_version = before && before->size == static_cast<long long>(shared->size()) && stamp_of(file.get()) == before;
  if (one_version && settled(*before)) {
    keep(key, *before, shared);
  } else {
    forget(key);
  }
  return shared;
}

bool file_cache::settled(const stamp& version) const {
  auto latest = std::chrono::nanoseconds(std::max(version.modified_ns, version.changed_ns));
  return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
             latest)) + settle_time <= now_();
}

std::shared_ptr<const std::string> file_cache::kept(const std::string& key, const stamp& version) const {
  mutex_lock lock(mutex_);
  auto it = entries_.find(key);
  if (it == entries_.end() || it->second.version != version) return nullptr;
  return it->second.bytes;
}

void file_cache::keep(const std::string& key, const stamp& version, std::shared_ptr<const std::string> bytes) {
  if (bytes->size() > max_file_bytes) return forget(key);
  mutex_lock lock(mutex_);
  if (auto it = entries_.find(key); it != entries_.end()) erase_locked(it);
  // A school's data directory fits many times over; which files make room
  // when it does not matters little.
  while (total_bytes_ + bytes->size() > max_total_bytes && !entries_.empty()) erase_locked(entries_.begin());
  total_bytes_ += bytes->size();
  entries_.emplace(key, entry{version, std::move(bytes)});
}

void file_cache::forget(const std::string& key) {
  mutex_lock lock(mutex_);
  if (auto it = entries_.find(key); it != entries_.end()) erase_locked(it);
}

void file_cache::erase_locked(entry_map::iterator it) {
  total_bytes_ -= it->second.bytes->size();
  entries_.erase(it);
}

std::size_t file_cache::kept_files() const {
  mutex_lock lock(mutex_);
  return entries_.size();
}

}  // namespace velmira
