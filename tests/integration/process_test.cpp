// The executable itself: first start in an empty directory, a start that
// cannot go on, and a clean stop on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "integration/server_process.hpp"
#include "support/line_client.hpp"
#include "support/temp_dir.hpp"

namespace velmira::testing {
namespace {

namespace fs = std::filesystem;

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
  EXPECT_EQ(fs::status(dir.path() / "setting.ini").permissions(), static_cast<fs::perms>(0600))
      << "the copy holds the passwords";
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

namespace velmira::testing {
namespace {

// "console: http://127.0.0.1:PORT/" as printed; 0 when absent.
std::uint16_t console_port_in(const std::string& out) {
  const std::string prefix = "console: http://127.0.0.1:";
  auto at = out.find(prefix);
  if (at == std::string::npos) return 0;
  return static_cast<std::uint16_t>(std::stoi(out.substr(at + prefix.size())));
}

TEST(Process, TheConsoleGetsAKeyPrintsItsAddressAndCloseYesEndsWithStatusZero) {
  temp_dir dir;
  dir.write("setting.000", join_lines(factory_settings_on_free_ports()));
  server_process p(dir, {"--console", "127.0.0.1:0"});
  auto out = p.output_until("/\n");
  auto port = console_port_in(out);
  ASSERT_NE(port, 0) << out;

  auto key = dir.read("console.key");
  ASSERT_EQ(key.size(), 65u);
  EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), 64u);
  EXPECT_EQ(key.back(), '\n');
  EXPECT_EQ(fs::status(dir.path() / "console.key").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  line_client c(port);
  const std::string body = "{\"answer\":\"yes\"}";
  c.send("POST /api/server/close HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nAuthorization: Bearer " + key.substr(0, 64) + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body);
  EXPECT_NE(c.read_for(std::chrono::milliseconds(300)).find("HTTP/1.1 200 OK"), std::string::npos);
  EXPECT_EQ(p.wait_exit(), 0);
}

TEST(Process, AKeyFileTooShortStopsTheStart) {
  temp_dir dir;
  dir.write("setting.000", join_lines(factory_settings_on_free_ports()));
  dir.write("console.key", "short\n");
  server_process p(dir, {"--console", "127.0.0.1:0"});
  EXPECT_EQ(p.wait_exit(), 1);
  EXPECT_NE(p.output_so_far().find("16"), std::string::npos) << p.output_so_far();
}

}  // namespace
}  // namespace velmira::testing
