// Start-up in remote mode and the switch back to local mode.
#include <gtest/gtest.h>

#include "core/data_file.hpp"
#include "integration/server_fixture.hpp"

namespace velmira::testing {
namespace {

// Remote mode without the channel's data: start-up falls back to local mode
// at once, and the switch below runs again over it.
running_server remote_mode_server() {
  return running_server(user_line({"1", "T", "", "Учитель", "teach", "pw", "Да", "Да", "Да"}),
                        [](std::vector<std::string>& lines) { lines[28] = "0"; });
}

TEST(Modes, SwitchToLocalSavesRebuildsTheGreetingAndStarts) {
  auto s = remote_mode_server();
  s.call([](operator_desk& d) { d.PereklNaLockal(); });

  EXPECT_EQ(split_lines(s.dir().read("setting.ini")).at(28), "1");
  EXPECT_EQ(s.page().running_state, '1');
  EXPECT_EQ(s.page().mode_caption, "Режим: Локальный сервер");
  EXPECT_TRUE(s.settings_flag(&settings_page::local_only_visible));
  // With the calendar off the greeting's last field is now empty, not "0".
  EXPECT_EQ(s.server().connection_greeting().soob_connect2, "web$secret$D8EAEEEBE0$$");

  auto c = s.connect();
  c->send("zameVUhitteach;pw;\r\n");
  EXPECT_EQ(c->read_bytes(6), "zameV1");
}

}  // namespace
}  // namespace velmira::testing

namespace velmira::testing {
namespace {

TEST(StartUp, CalendarOnWithItsFileLoadsItAndFlagsTheGreeting) {
  running_server s(
      "", [](std::vector<std::string>& lines) { lines[27] = "1"; },
      [](const temp_dir& d) { d.write("kalendgraf.rtf", "{\\rtf1\\ansi {\\b AB}C\\par}"); });
  EXPECT_TRUE(s.settings_flag(&settings_page::calendar_on));
  EXPECT_EQ(s.server().connection_greeting().soob_connect2, "web$secret$D8EAEEEBE0$1$");
}

TEST(StartUp, CalendarOnWithoutItsFileIsOff) {
  running_server s("", [](std::vector<std::string>& lines) { lines[27] = "1"; });
  EXPECT_FALSE(s.settings_flag(&settings_page::calendar_on));
  EXPECT_EQ(s.server().connection_greeting().soob_connect2, "web$secret$D8EAEEEBE0$0$");
}

}  // namespace
}  // namespace velmira::testing
