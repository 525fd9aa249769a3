// The executable as a service runs it: one server per data directory, the
// installed factory settings, backup and restore beside a running server.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/data_file.hpp"
#include "integration/server_process.hpp"
#include "support/line_client.hpp"
#include "support/tar_gz.hpp"
#include "support/temp_dir.hpp"

namespace velmira::testing {
namespace {

namespace fs = std::filesystem;

// Whether the server on `settings` answers a log-in on its main TCP port.
bool answers_on_its_port(const std::vector<std::string>& settings) {
  line_client c(static_cast<std::uint16_t>(std::stoi(settings.at(1))));
  c.send("conecZvon\r\n");
  return c.read_bytes(5) == "conec";
}

// A running server in its own directory, started on settings with free ports.
struct running_process {
  temp_dir dir;
  std::vector<std::string> settings = settings_on_free_ports();
  std::unique_ptr<server_process> process;
  running_process() {
    dir.write("setting.ini", join_lines(settings));
    process = std::make_unique<server_process>(dir);
    process->output_until(": запуск HTTP сервера ...");
  }
};

// Another run of the executable, from a folder of its own, on `data`.
int run_on(const temp_dir& data, std::vector<std::string> args, std::string* output = nullptr) {
  temp_dir own;
  args.insert(args.end(), {"--data-dir", data.path().string(), "--no-console"});
  server_process p(own, args);
  int status = p.wait_exit();
  if (output) *output = p.output_so_far();
  return status;
}

TEST(ServiceProcess, ASecondServerOnTheSameDirectoryExitsWithStatusOneAndTheFirstServesOn) {
  running_process first;
  std::string said;
  EXPECT_EQ(run_on(first.dir, {}, &said), 1);
  EXPECT_NE(said.find("in use by another velmira process (process " + std::to_string(first.process->pid()) + ")"),
            std::string::npos)
      << said;
  EXPECT_TRUE(answers_on_its_port(first.settings));

  first.process->signal(SIGTERM);
  ASSERT_EQ(first.process->wait_exit(), 0);
  server_process again(first.dir);
  EXPECT_NE(again.output_until(": запуск HTTP сервера ...").find(": запуск HTTP сервера ..."), std::string::npos);
}

TEST(ServiceProcess, BackupBesideARunningServerAndRestoreOnceItStopped) {
  running_process server;
  server.dir.write("news/data.ini", "announcement\r\n");
  temp_dir elsewhere;
  const auto archive = elsewhere.path() / "backup.tar.gz";
  EXPECT_EQ(run_on(server.dir, {"--backup", archive.string()}), 0);
  auto contents = tar_gz_contents(*read_file(archive));
  EXPECT_EQ(contents.at("news/data.ini"), "announcement\r\n");
  EXPECT_EQ(contents.at("setting.ini"), join_lines(server.settings));
  EXPECT_EQ(contents.count("console.key"), 0u);
  EXPECT_EQ(contents.count(".velmira.lock"), 0u);
  EXPECT_EQ(contents.count("velmira"), 0u);  // the executable beside its data
  EXPECT_EQ(fs::status(archive).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  server.dir.write("news/data.ini", "changed\r\n");
  std::string said;
  EXPECT_EQ(run_on(server.dir, {"--restore", archive.string()}, &said), 1);
  EXPECT_NE(said.find("restore refused"), std::string::npos) << said;
  EXPECT_EQ(server.dir.read("news/data.ini"), "changed\r\n");

  server.process->signal(SIGTERM);
  ASSERT_EQ(server.process->wait_exit(), 0);
  EXPECT_EQ(run_on(server.dir, {"--restore", archive.string()}), 0);
  EXPECT_EQ(server.dir.read("news/data.ini"), "announcement\r\n");
}

TEST(ServiceProcess, ARestoreRefusedForItsArchiveSaysWhy) {
  temp_dir data;
  temp_dir elsewhere;
  elsewhere.write("evil.tar.gz", make_tar_gz({{"../escaped.ini", tar_entry::file, "x"}}));
  std::string said;
  EXPECT_EQ(run_on(data, {"--restore", (elsewhere.path() / "evil.tar.gz").string()}, &said), 1);
  EXPECT_NE(said.find("../escaped.ini"), std::string::npos) << said;
}

// The variable is read by the child; the test restores what it found.
class installed_settings_at {
 public:
  explicit installed_settings_at(const fs::path& dir) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::setenv(name, dir.c_str(), 1);
  }
  ~installed_settings_at() {
    if (old_) ::setenv(name, old_->c_str(), 1);
    else ::unsetenv(name);
  }

 private:
  static constexpr const char* name = "VELMIRA_FACTORY_SETTINGS_DIR";
  std::optional<std::string> old_;
};

TEST(ServiceProcess, ADirectoryWithoutSettingsStartsOnTheInstalledFactorySettings) {
  temp_dir installed;
  auto settings = settings_on_free_ports();
  installed.write("setting.000", join_lines(settings));
  installed_settings_at variable(installed.path());
  temp_dir data;
  server_process p(data);
  p.output_until(": запуск HTTP сервера ...");
  EXPECT_EQ(data.read("setting.ini"), join_lines(settings));
  EXPECT_FALSE(data.exists("setting.000"));
  EXPECT_TRUE(answers_on_its_port(settings));
}

TEST(ServiceProcess, TheDirectorysOwnFactorySettingsComeBeforeTheInstalledOnes) {
  temp_dir installed;
  installed.write("setting.000", "installed\r\n");
  installed_settings_at variable(installed.path());
  temp_dir data;
  auto own = join_lines(settings_on_free_ports());
  data.write("setting.000", own);
  server_process p(data);
  p.output_until(": запуск HTTP сервера ...");
  EXPECT_EQ(data.read("setting.ini"), own);
}

}  // namespace
}  // namespace velmira::testing
