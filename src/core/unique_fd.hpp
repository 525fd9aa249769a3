#pragma once
// A file descriptor closed when it goes out of scope.
#include <unistd.h>

#include <utility>

namespace velmira {

class unique_fd {
 public:
  explicit unique_fd(int fd) : fd_(fd) {}
  ~unique_fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  unique_fd(const unique_fd&) = delete;
  unique_fd& operator=(const unique_fd&) = delete;

  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  // Closes now, so that a failing close is seen rather than lost in the
  // destructor; returns what close() returned.
  int close() { return ::close(release()); }

 private:
  int fd_;
};

}  // namespace velmira
