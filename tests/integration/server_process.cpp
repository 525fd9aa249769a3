#include "integration/server_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace velmira::testing {

namespace fs = std::filesystem;

server_process::server_process(const temp_dir& dir, std::vector<std::string> args,
                               unsigned long descriptor_limit) {
  fs::copy_file(VELMIRA_BINARY, dir.path() / "velmira", fs::copy_options::overwrite_existing);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::string exe = (dir.path() / "velmira").string();
  std::string config = (dir.path() / "config").string();
  std::vector<char*> argv = {exe.data()};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    if (descriptor_limit != 0) {
      rlimit limit{descriptor_limit, descriptor_limit};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
    }
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  out_ = out[0];
}

server_process::~server_process() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ::close(out_);
}

std::string server_process::output_until(const std::string& text, std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (output_.find(text) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{out_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) break;
    output_.append(buffer, static_cast<size_t>(n));
  }
  return output_;
}

int server_process::wait_exit(std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      drain();
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // waitpid cannot be polled together with the pipe; drain it meanwhile
    // so a chatty child never blocks on a full pipe.
    drain();
    ::usleep(10'000);
  }
  return -1;
}

void server_process::drain() {
  pollfd p{out_, POLLIN, 0};
  while (::poll(&p, 1, 0) > 0) {
    char buffer[4096];
    ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return;
    output_.append(buffer, static_cast<size_t>(n));
  }
}

void server_process::signal(int s) { ::kill(pid_, s); }

std::string server_process::output_so_far() {
  drain();
  return output_;
}

}  // namespace velmira::testing
