#pragma once
// Data files kept in memory between HTTP requests. Every read looks at the
// file on disk first (one stat) and serves the kept bytes only while the
// file is still the one they were read from: same device and inode, size,
// modification and change time. A file replaced by rename (a new inode) or
// rewritten in place is therefore read again, never served stale.
//
// Files are read only beneath the cache's root, and never through a
// symbolic link: the server writes every data file itself and never as a
// link, so a link there was put by hand and may lead anywhere, to files
// outside the data directory or to users.ini past the refused names. A
// file is opened with openat2(RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS) from
// the root (Linux 5.6 and later), so the kernel checks every component as
// it resolves them, and is read through that very descriptor: nothing can
// be swapped between the check and the read. The stat that serves kept
// bytes follows links, yet stays correct: kept bytes belong to a file
// opened that way, and the stat must find that very file (device and
// inode) unchanged. A link made later leads either to that same file,
// whose bytes were fit to serve, or to another one, which is then opened,
// refused and forgotten. The check thus adds an open of the root to each
// read from disk and nothing to the common request, still one stat.
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
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>

#include "core/mutex.hpp"

struct stat;

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

  // What read() fails with for a path that leads through a symbolic link
  // or out of the root.
  static constexpr std::errc refused = std::errc::too_many_symbolic_link_levels;

  // `root` is the folder every file read lies beneath; links in its own
  // path are the operator's choice and are followed.
  explicit file_cache(std::filesystem::path root, clock now = std::chrono::system_clock::now);

  // The bytes of the file at `path` (the root followed by a relative path),
  // or null with the reason in `error`: `refused`, or why the file cannot be
  // opened or read (missing, a folder, no permission), as reading it from
  // disk directly would say.
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
  static std::optional<stamp> stamp_of(int fd);
  static std::optional<stamp> regular_file_stamp(const struct stat& st);
  // The file opened for reading beneath the root; -1 with `error` set.
  int open_beneath_root(const std::filesystem::path& path, std::error_code& error) const;

  struct entry {
    stamp version;
    std::shared_ptr<const std::string> bytes;
  };
  using entry_map = std::unordered_map<std::string, entry>;

  std::shared_ptr<const std::string> kept(const std::string& key, const stamp& version) const;
  void keep(const std::string& key, const stamp& version, std::shared_ptr<const std::string> bytes);
  void forget(const std::string& key);
  void erase_locked(entry_map::iterator it) REQUIRES(mutex_);
  bool settled(const stamp& version) const;

  std::string root_;  // without a trailing "/"
  clock now_;
  mutable mutex mutex_;
  entry_map entries_ GUARDED_BY(mutex_);
  std::size_t total_bytes_ GUARDED_BY(mutex_) = 0;
};

}  // namespace velmira
