#pragma once
// The executable run as a child process in a data directory, its standard
// output and error collected, every wait bounded.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace velmira::testing {

class server_process {
 public:
  // Copies the executable into `dir` as an operator would install it, then
  // starts it there with `args`. A `descriptor_limit` other than 0 becomes
  // its soft and hard limit on open descriptors, as `prlimit --nofile` sets.
  explicit server_process(const temp_dir& dir, std::vector<std::string> args = {},
                          unsigned long descriptor_limit = 0);
  ~server_process();
  server_process(const server_process&) = delete;
  server_process& operator=(const server_process&) = delete;

  // Output read until `text` appears or the time is up.
  std::string output_until(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(20));
  // The exit status (128 + signal when killed), or -1 when it has not ended in time.
  int wait_exit(std::chrono::seconds limit = std::chrono::seconds(20));
  void signal(int s);
  pid_t pid() const { return pid_; }
  // Everything output so far, without waiting for more.
  std::string output_so_far();

 private:
  void drain();  // reads what the pipe holds now, without waiting

  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  std::string output_;
};

}  // namespace velmira::testing
