// The administration channel and the housekeeping on a running server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>


#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "integration/server_fixture.hpp"
#include "support/eventually.hpp"

namespace velmira::testing {
namespace {

void allow_administration(std::vector<std::string>& lines) {
  lines[29] = "1";
  lines[30] = "admin";
  lines[31] = "adminpw";
}

TEST(Administration, PushedUsersCanLogInAtOnce) {
  running_server s("", allow_administration);
  auto c = s.connect();
  c->send("zameVUhitnew;pw;\r\n");
  ASSERT_EQ(c->read_bytes(5), "error");

  c->send(to_utf8("settiAdmiusers.ini;admin;adminpw;" +
                  from_utf8(user_line({"1", "Новый", "", "Учитель", "new", "pw", "Да", "Да", "Да"})) + "|^\r\n"));
  std::string stored = "soobsСписок пользователей по удаленному доступу успешно передан.";
  EXPECT_EQ(c->read_bytes(stored.size()), stored);

  c->send("zameVUhitnew;pw;\r\n");
  EXPECT_EQ(c->read_bytes(6), "zameV1");
  EXPECT_THAT(s.log_lines(), ::testing::Contains(::testing::HasSubstr(
                                 ": Список пользователей по удаленному доступу успешно получен.")));
}

TEST(Administration, SwitchedOffChannelRefusesLogInAndPush) {
  running_server s("", [](std::vector<std::string>& lines) {
    allow_administration(lines);
    lines[29] = "0";
  });
  auto c = s.connect();
  c->send("conecAdmiadmin;adminpw;\r\n");
  EXPECT_EQ(c->read_bytes(5), "error");
  c->send("settiAdmiusers.ini;admin;adminpw;x$1$|^\r\n");
  EXPECT_EQ(c->read_bytes(5), "error");
  EXPECT_FALSE(s.dir().exists("users.ini"));
}

TEST(Administration, AcceptedLogInGetsTheConnectionData) {
  running_server s("", allow_administration);
  auto c = s.connect();
  c->send("conecAdmiadmin;adminpw;\r\n");
  EXPECT_EQ(c->read_bytes(6), "conec2");
}

TEST(Housekeeping, NightlyPurgeRunsOnTheServersTimer) {
  running_server s(
      "", [](std::vector<std::string>& lines) { lines[24] = "1;0;"; },  // menus older than one month
      [](const temp_dir& d) {
        d.write("menu/01.01.24.ini", "old page\r\n");
        d.write("menu/01.01.24/1.ini", "old menu\r\n");
        d.write("menu/04.09.24.ini", "new page\r\n");
      });
  s.clock().set(make_local(2024, 9, 5, 0, 5, 0));
  EXPECT_TRUE(eventually([&] { return !s.dir().exists("menu/01.01.24.ini"); }));
  EXPECT_FALSE(s.dir().exists("menu/01.01.24"));
  EXPECT_TRUE(s.dir().exists("menu/04.09.24.ini"));
}

TEST(Housekeeping, TickShowsTheActiveGameCount) {
  running_server s;
  auto c = s.connect();
  c->send("gameexxxx00room;\r\n");
  ASSERT_EQ(c->read_bytes(10), "gameegdem;");
  EXPECT_TRUE(eventually([&] {
    return s.page().game_counter_text == "1 игр активно";
  }));
}

}  // namespace
}  // namespace velmira::testing
