#include "integration/server_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "core/data_file.hpp"
#include "support/line_client.hpp"

namespace velmira::testing {

namespace fs = std::filesystem;

namespace {

// Appends what `fd` delivers to `text` until `done` holds or the time is up.
void read_until(int fd, std::string& text, const std::function<bool(const std::string&)>& done,
                std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done(text)) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

server_process::server_process(const temp_dir& dir, std::vector<std::string> args, standard_output mode,
                               unsigned long descriptor_limit) {
  fs::copy_file(VELMIRA_BINARY, dir.path() / "velmira", fs::copy_options::overwrite_existing);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  int unread[2] = {-1, -1};
  if (mode == standard_output::left_unread) {
    if (::pipe2(unread, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    ::fcntl(unread[1], F_SETPIPE_SZ, 4096);  // the smallest: full after a few lines
  }
  std::string exe = (dir.path() / "velmira").string();
  std::string config = (dir.path() / "config").string();
  std::string installed_settings = (dir.path() / "not-installed").string();
  // Every server started here has its operator console, on a free port so
  // that processes of parallel tests never meet on the default one.
  auto names = [&](const char* option) { return std::find(args.begin(), args.end(), option) != args.end(); };
  if (!names("--console") && !names("--no-console") && !names("--help")) {
    args.insert(args.end(), {"--console", "127.0.0.1:0"});
  }
  std::vector<char*> argv = {exe.data()};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(unread[1] >= 0 ? unread[1] : out[1], 1);
    ::dup2(out[1], 2);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    // Unless a test names them, an installed server's factory settings are
    // not there: a package installed on this machine must not change the
    // outcome of a start without settings.
    ::setenv("VELMIRA_FACTORY_SETTINGS_DIR", installed_settings.c_str(), 0);
    if (descriptor_limit != 0) {
      rlimit limit{descriptor_limit, descriptor_limit};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
    }
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  out_ = out[0];
  if (unread[1] >= 0) ::close(unread[1]);
  unread_out_ = unread[0];
}

server_process::~server_process() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ::close(out_);
  if (unread_out_ >= 0) ::close(unread_out_);
}

std::string server_process::output_until(const std::string& text, std::chrono::seconds limit) {
  read_until(out_, output_, [&](const std::string& got) { return got.find(text) != std::string::npos; }, limit);
  return output_;
}

std::string server_process::standard_output_until(const std::function<bool(const std::string&)>& done,
                                                  std::chrono::seconds limit) {
  if (unread_out_ < 0) throw std::logic_error("standard output is collected with standard error");
  read_until(unread_out_, standard_output_, done, limit);
  return standard_output_;
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

std::vector<std::string> settings_on_free_ports() {
  auto lines = split_lines(*read_file(VELMIRA_FACTORY_SETTINGS));
  lines.at(1) = std::to_string(free_port());
  lines.at(2) = std::to_string(free_port());
  return lines;
}

}  // namespace velmira::testing
