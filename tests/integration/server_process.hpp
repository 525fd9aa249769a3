#pragma once
// The executable run as a child process in a data directory, its standard
// output and error collected, every wait bounded.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace velmira::testing {

// Where the child's standard output goes: with standard error into the
// output the test reads, or into a pipe of one page that nobody reads until
// the test calls standard_output_until.
enum class standard_output { collected, left_unread };

class server_process {
 public:
  // Copies the executable into `dir` as an operator would install it, then
  // starts it there with `args`. A `descriptor_limit` other than 0 becomes
  // its soft and hard limit on open descriptors, as `prlimit --nofile` sets.
  explicit server_process(const temp_dir& dir, std::vector<std::string> args = {},
                          standard_output out = standard_output::collected, unsigned long descriptor_limit = 0);
  ~server_process();
  server_process(const server_process&) = delete;
  server_process& operator=(const server_process&) = delete;

  // Output read until `text` appears or the time is up.
  std::string output_until(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(20));
  // With standard_output::left_unread: the standard output, read from now on
  // until `done` holds for it or the time is up.
  std::string standard_output_until(const std::function<bool(const std::string&)>& done,
                                    std::chrono::seconds limit = std::chrono::seconds(20));
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
  int unread_out_ = -1;
  std::string standard_output_;
};

// The shipped factory settings with free ports (TCP on line 2, HTTP on
// line 3), so tests never clash.
std::vector<std::string> settings_on_free_ports();

}  // namespace velmira::testing
