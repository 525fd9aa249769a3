#include "web/file_cache.hpp"

#include <sys/stat.h>

#include <utility>

#include "core/data_file.hpp"

namespace velmira {
namespace {

long long nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

// The bytes as read_file gives them, its failures turned into `error`.
std::optional<std::string> read_from_disk(const fs::path& path, std::error_code& error) {
  try {
    if (auto bytes = read_file(path)) return bytes;
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  } catch (const data_file_error& e) {
    error = e.code();
  }
  return std::nullopt;
}

}  // namespace

file_cache::file_cache(clock now) : now_(std::move(now)) {}

std::optional<file_cache::stamp> file_cache::stamp_of(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return stamp{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

std::shared_ptr<const std::string> file_cache::read(const fs::path& path, std::error_code& error) {
  const std::string& key = path.native();
  auto before = stamp_of(path);
  if (before) {
    if (auto bytes = kept(key, *before)) return bytes;
  }
  auto bytes = read_from_disk(path, error);
  if (!bytes) {
    forget(key);
    return nullptr;
  }
  auto shared = std::make_shared<const std::string>(std::move(*bytes));
  // Bytes are kept only when they belong to one known version: a file that
  // changed while it was read would otherwise be kept under a stamp that
  // is not its own.
  bool one_version = before && before->size == static_cast<long long>(shared->size()) && stamp_of(path) == before;
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
  std::lock_guard lock(mutex_);
  auto it = entries_.find(key);
  if (it == entries_.end() || it->second.version != version) return nullptr;
  return it->second.bytes;
}

void file_cache::keep(const std::string& key, const stamp& version, std::shared_ptr<const std::string> bytes) {
  if (bytes->size() > max_file_bytes) return forget(key);
  std::lock_guard lock(mutex_);
  if (auto it = entries_.find(key); it != entries_.end()) erase_locked(it);
  // A school's data directory fits many times over; which files make room
  // when it does not matters little.
  while (total_bytes_ + bytes->size() > max_total_bytes && !entries_.empty()) erase_locked(entries_.begin());
  total_bytes_ += bytes->size();
  entries_.emplace(key, entry{version, std::move(bytes)});
}

void file_cache::forget(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (auto it = entries_.find(key); it != entries_.end()) erase_locked(it);
}

void file_cache::erase_locked(entry_map::iterator it) {
  total_bytes_ -= it->second.bytes->size();
  entries_.erase(it);
}

std::size_t file_cache::kept_files() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace velmira
