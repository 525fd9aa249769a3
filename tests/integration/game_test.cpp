// Two clients pairing up in a game room over real connections.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "integration/server_fixture.hpp"

namespace velmira::testing {
namespace {

using ::testing::MatchesRegex;

TEST(GameRoom, TwoClientsPairUpAndRelayAMove) {
  running_server s;
  auto creator = s.connect();
  auto joiner = s.connect();

  creator->send("gameexxxx00r1;\r\n");
  auto created = creator->read_bytes(14);
  ASSERT_THAT(created, MatchesRegex("gameegdem;[12];[12];"));
  std::string creator_number(1, created[10]);
  std::string shared_draw(1, created[12]);

  joiner->send("gameexxxx01r1;\r\n");
  auto joined = joiner->read_bytes(14);
  std::string joiner_number = creator_number == "1" ? "2" : "1";
  EXPECT_EQ(joined, "gameegdem;" + joiner_number + ";" + shared_draw + ";");

  creator->send("gameexxxx02r1;\r\n");
  EXPECT_EQ(creator->read_bytes(11), "gameerasst;");

  // The poll after the move tells that the move has been stored.
  creator->send("gameexxxx05r1;" + creator_number + ";e2-e4;ok\r\ngameexxxx02r1;\r\n");
  ASSERT_EQ(creator->read_bytes(11), "gameerasst;");
  joiner->send("gameexxxx06r1;" + joiner_number + ";\r\n");
  EXPECT_EQ(joiner->read_bytes(17), "gameehod;e2-e4;ok");

  joiner->send("gameexxxx01nope;\r\n");
  EXPECT_EQ(joiner->read_bytes(10), "gameeer01;");
}

}  // namespace
}  // namespace velmira::testing
