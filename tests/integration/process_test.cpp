// The executable itself: first start in an empty directory, a start that
// cannot go on, and a clean stop on SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "support/line_client.hpp"
#include "support/temp_dir.hpp"

namespace velmira::testing {
namespace {

namespace fs = std::filesystem;

// The executable, copied into a data directory as an operator would install it.
class server_process {
 public:
  explicit server_process(const temp_dir& dir, std::vector<std::string> args = {}) {
    fs::copy_file(VELMIRA_BINARY, dir.path() / "velmira", fs::copy_options::overwrite_existing);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::dup2(out[1], 2);
      std::string exe = (dir.path() / "velmira").string();
      std::vector<char*> argv = {exe.data()};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
      ::execv(exe.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
  }
  ~server_process() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }

  // Output read until `text` appears or the time is up.
  std::string output_until(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(20)) {
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

  // The exit status, or -1 when the process has not ended in time.
  int wait_exit(std::chrono::seconds limit = std::chrono::seconds(20)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      output_until("\x01", std::chrono::seconds(0));
      ::usleep(10'000);  // waitpid cannot be polled together with the pipe
    }
    return -1;
  }

  void signal(int s) { ::kill(pid_, s); }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  std::string output_;
};

// The shipped factory settings with free ports, so tests never clash.
std::vector<std::string> factory_settings_on_free_ports() {
  auto lines = split_lines(*read_file(VELMIRA_FACTORY_SETTINGS));
  lines.at(1) = std::to_string(free_port());
  lines.at(2) = std::to_string(free_port());
  return lines;
}

TEST(Process, FirstStartBuildsTheTreeServesAndStopsOnSigterm) {
  temp_dir dir;
  auto factory = factory_settings_on_free_ports();
  dir.write("setting.000", join_lines(factory));
  dir.write("news/error.ini", "stale");
  server_process p(dir, {"--organisation", "Школа"});

  auto out = p.output_until("Велмира");
  EXPECT_NE(out.find(": запуск TCP сервера ..."), std::string::npos) << out;
  EXPECT_NE(out.find(": запуск HTTP сервера ..."), std::string::npos) << out;
  EXPECT_NE(out.find("- Школа"), std::string::npos) << out;

  for (const char* folder : {"zametki", "news", "menu", "raspisanie", "zvonok", "remote"}) {
    EXPECT_TRUE(fs::is_directory(dir.path() / folder)) << folder;
  }
  EXPECT_EQ(dir.read("setting.ini"), dir.read("setting.000"));
  EXPECT_EQ(dir.read("news/error.ini"), "");
  EXPECT_EQ(dir.read("zametki/error.ini"), "");
  EXPECT_NE(dir.read("menu/error.ini").find("<!DOCTYPE html>\r\n"), std::string::npos);

  line_client c(static_cast<std::uint16_t>(std::stoi(factory.at(1))));
  c.send("conecZvon\r\n");
  EXPECT_EQ(c.read_bytes(5), "conec");

  p.signal(SIGTERM);
  EXPECT_EQ(p.wait_exit(), 0);
}

TEST(Process, ExistingSettingsAreLeftUntouched) {
  temp_dir dir;
  dir.write("setting.000", "a different file\r\n");
  auto lines = factory_settings_on_free_ports();
  dir.write("setting.ini", join_lines(lines));
  server_process p(dir);
  p.output_until(": запуск HTTP сервера ...");
  EXPECT_EQ(dir.read("setting.ini"), join_lines(lines));
  p.signal(SIGINT);
  EXPECT_EQ(p.wait_exit(), 0);
}

TEST(Process, StartWithoutAnySettingsFailsLoudly) {
  temp_dir dir;
  server_process p(dir);
  EXPECT_NE(p.wait_exit(), 0);
  EXPECT_NE(p.output_until("setting.ini").find("setting.ini"), std::string::npos);
  EXPECT_FALSE(dir.exists("menu/error.ini"));  // start-up stopped before the pages
}

TEST(Process, HelpPrintsTheCommandLine) {
  temp_dir dir;
  server_process p(dir, {"--help"});
  EXPECT_EQ(p.wait_exit(), 0);
  EXPECT_NE(p.output_until("--data-dir").find("usage: velmira"), std::string::npos);
}

}  // namespace
}  // namespace velmira::testing
