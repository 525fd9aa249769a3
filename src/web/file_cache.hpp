#pragma once
// Data files kept in memory between HTTP requests. Every read looks at the
// file on disk first (one stat) and serves the kept bytes only while the
// file is still the one they were read from: same device and inode, size,
// modification and change time. A file replaced by rename (a new inode) or
// rewritten in place is therefore read again, never served stale.
//
// A file whose times are younger than settle_time is served but not kept:
// the file system's clock is coarse, so a second write within the same tick
// could leave every stamp unchanged.
//
// Thread-safety: read() may run on any number of threads at once. The bytes
// handed out are immutable and stay valid for as long as the caller holds
// them, whatever happens to the cache or the file afterwards.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>

namespace velmira {

class file_cache {
 public:
  // The wall clock that file times are compared with.
  using clock = std::function<std::chrono::system_clock::time_point()>;

  static constexpr std::chrono::seconds settle_time{2};
  // Bigger files are read from disk on every request.
  static constexpr std::size_t max_file_bytes = 1024 * 1024;
  // The most the cache holds; past it, kept files are dropped to make room.
  static constexpr std::size_t max_total_bytes = 32 * 1024 * 1024;

  explicit file_cache(clock now = std::chrono::system_clock::now);

  // The file's bytes, or null with the reason in `error` when it cannot be
  // opened or read (missing, a folder, no permission): the same reasons as
  // reading it from disk directly would give.
  std::shared_ptr<const std::string> read(const std::filesystem::path& path, std::error_code& error);

  // How many files are kept; for tests.
  std::size_t kept_files() const;

 private:
  // What tells one version of a file from another.
  struct stamp {
    unsigned long long device = 0, inode = 0;
    long long size = 0;
    long long modified_ns = 0, changed_ns = 0;
    bool operator==(const stamp&) const = default;
  };
  // The stamp of a regular file; nothing for anything else or on failure.
  static std::optional<stamp> stamp_of(const std::filesystem::path& path);

  struct entry {
    stamp version;
    std::shared_ptr<const std::string> bytes;
  };
  using entry_map = std::unordered_map<std::string, entry>;

  std::shared_ptr<const std::string> kept(const std::string& key, const stamp& version) const;
  void keep(const std::string& key, const stamp& version, std::shared_ptr<const std::string> bytes);
  void forget(const std::string& key);
  void erase_locked(entry_map::iterator it);
  bool settled(const stamp& version) const;

  clock now_;
  mutable std::mutex mutex_;
  entry_map entries_;
  std::size_t total_bytes_ = 0;
};

}  // namespace velmira
