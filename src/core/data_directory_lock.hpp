#pragma once
// One server per data directory: an exclusive flock on a file in it. The
// kernel lets go of the lock when its holder ends, however it ends, so a
// crash never leaves a stale lock behind; the file itself stays and means
// nothing by being there.
#include <filesystem>
#include <stdexcept>
#include <string>

#include "core/data_directory.hpp"
#include "core/unique_fd.hpp"

namespace velmira {

// Another process holds the directory; what() says which, when it can.
class data_directory_busy : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class data_directory_lock {
 public:
  // Takes the lock without waiting, creating the directory and the lock
  // file when missing; throws data_directory_busy when another holder has
  // it and data_file_error when the file cannot be opened. The holder's
  // process id is written into the file for the next one's message.
  explicit data_directory_lock(const std::filesystem::path& data_dir);
  data_directory_lock(const data_directory_lock&) = delete;
  data_directory_lock& operator=(const data_directory_lock&) = delete;

  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  unique_fd fd_;
};

}  // namespace velmira
