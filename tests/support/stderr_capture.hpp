#pragma once
// Standard error redirected into a pipe while the object lives, so a test
// can read what the code under test reported there. Every wait is bounded.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace velmira::testing {

class stderr_capture {
 public:
  stderr_capture() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    read_end_ = fds[0];
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    ::close(fds[1]);
  }
  ~stderr_capture() {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    ::close(read_end_);
  }
  stderr_capture(const stderr_capture&) = delete;
  stderr_capture& operator=(const stderr_capture&) = delete;

  // Everything written so far, read until `text` is among it or the time
  // is up; an empty `text` takes only what is there already.
  std::string until(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      bool found = !text.empty() && text_.find(text) != std::string::npos;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      int wait = found || text.empty() || left.count() < 0 ? 0 : static_cast<int>(left.count());
      pollfd p{read_end_, POLLIN, 0};
      if (::poll(&p, 1, wait) <= 0) return text_;
      char buffer[4096];
      ssize_t n = ::read(read_end_, buffer, sizeof buffer);
      if (n <= 0) return text_;
      text_.append(buffer, static_cast<std::size_t>(n));
    }
  }

 private:
  int read_end_ = -1;
  int saved_ = -1;
  std::string text_;
};

}  // namespace velmira::testing
