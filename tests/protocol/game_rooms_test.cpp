#include "protocol/game_rooms.hpp"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.hpp"
#include "core/event_log.hpp"

namespace velmira {
namespace {

using room_fields = std::array<std::string, game_rooms::column_count>;
using std::nullopt;

class GameRooms : public ::testing::Test {
 protected:
  manual_clock clock{make_local(2024, 3, 5, 10, 0, 30)};
  log_switches switches;
  event_log log{clock, switches};
  // The draws, taken in turn and again from the start: creator's number, then
  // the shared draw.
  std::string draws = "21";
  size_t next_draw = 0;
  game_rooms rooms{clock, log, [this] { return draws[next_draw++ % draws.size()]; }};

  std::optional<std::string> gamee(std::string_view arguments) { return rooms.gamee("Uche", arguments); }

  room_fields fields(int room) const {
    room_fields all;
    for (int column = 1; column <= game_rooms::column_count; ++column) all[column - 1] = rooms.field(room, column);
    return all;
  }

  // Creates and joins "abc" with the creator as player 2.
  void start_game() {
    draws = "21";
    next_draw = 0;
    ASSERT_EQ(gamee("00abc;"), "gameegdem;2;1;");
    ASSERT_EQ(gamee("01abc;"), "gameegdem;1;1;");
  }

  void fill_table() {
    for (int room = 1; room <= game_rooms::room_count; ++room) {
      ASSERT_EQ(gamee("00r" + std::to_string(room) + ";"), "gameegdem;2;1;");
    }
  }
};

struct draw_case {
  std::string draws;
  std::string creator_reply;
  std::string joiner_reply;
};

TEST_F(GameRooms, CreatorAndJoinerGetOppositeNumbersAndTheSameSharedDraw) {
  const std::vector<draw_case> cases = {
      {"21", "gameegdem;2;1;", "gameegdem;1;1;"},
      {"12", "gameegdem;1;2;", "gameegdem;2;2;"},
      {"11", "gameegdem;1;1;", "gameegdem;2;1;"},
      {"22", "gameegdem;2;2;", "gameegdem;1;2;"},
  };
  int room = 0;
  for (const auto& c : cases) {
    draws = c.draws;
    next_draw = 0;
    std::string code = "room" + std::to_string(++room);
    EXPECT_EQ(gamee("00" + code + ";"), c.creator_reply) << c.draws;
    EXPECT_EQ(gamee("01" + code + ";"), c.joiner_reply) << c.draws;
    EXPECT_EQ(gamee("01" + code + ";"), "gameeer01;") << "second join, " << c.draws;
  }
}

TEST_F(GameRooms, TwoPlayersExchangeSetupAndMovesThroughTheirMailboxes) {
  // The creator is player 2, the joiner player 1.
  EXPECT_EQ(gamee("00abc;"), "gameegdem;2;1;");
  EXPECT_EQ(gamee("02abc;"), nullopt);
  EXPECT_EQ(gamee("01abc;"), "gameegdem;1;1;");
  EXPECT_EQ(gamee("02abc;"), "gameerasst;");

  EXPECT_EQ(gamee("03abc;2;ships;A5;B7"), nullopt);
  EXPECT_EQ(gamee("04abc;2;"), nullopt) << "the creator's own setup is not for the creator";
  EXPECT_EQ(gamee("04abc;1;"), "gameego;ships;A5;B7");
  EXPECT_EQ(gamee("04abc;1;"), nullopt) << "collected once";
  EXPECT_EQ(gamee("03abc;1;fleet"), nullopt);
  EXPECT_EQ(gamee("04abc;2;"), "gameego;fleet");

  clock.set(make_local(2024, 3, 5, 10, 2, 5));
  EXPECT_EQ(gamee("05abc;1;e2e4"), nullopt);
  EXPECT_EQ(rooms.field(1, game_column::joiner_move_time), "10:02:05");
  EXPECT_EQ(rooms.field(1, game_column::creator_move_time), "");
  EXPECT_EQ(gamee("06abc;1;"), nullopt) << "the joiner's own move is not for the joiner";
  EXPECT_EQ(gamee("06abc;2;"), "gameehod;e2e4");
  EXPECT_EQ(gamee("06abc;2;"), nullopt) << "collected once";

  clock.set(make_local(2024, 3, 5, 9, 3, 0));
  EXPECT_EQ(gamee("05abc;2;e7e5;x"), nullopt);
  EXPECT_EQ(rooms.field(1, game_column::creator_move_time), "9:03:00");
  EXPECT_EQ(rooms.field(1, game_column::joiner_move_time), "10:02:05");
  EXPECT_EQ(gamee("06abc;1;"), "gameehod;e7e5;x");
  EXPECT_EQ(gamee("06abc;1;"), nullopt);
}

TEST_F(GameRooms, NewPostOverwritesAnUncollectedOne) {
  start_game();
  EXPECT_EQ(gamee("05abc;2;first"), nullopt);
  EXPECT_EQ(gamee("05abc;2;second"), nullopt);
  EXPECT_EQ(gamee("06abc;1;"), "gameehod;second");
  EXPECT_EQ(gamee("06abc;1;"), nullopt);
}

struct sender_case {
  std::string request;
  int column;
  std::string stored;
};

TEST_F(GameRooms, OnlyTheCreatorsNumberSpeaksForTheCreator) {
  // The creator is player 2.
  const std::vector<sender_case> cases = {
      {"05abc;2;m", game_column::creator_move, "m"},
      {"05abc;1;m", game_column::joiner_move, "m"},
      {"05abc;7;m", game_column::joiner_move, "m"},
      {"05abc;;m", game_column::joiner_move, "m"},
      // Without its ";" the player number is empty and the whole rest is the move.
      {"05abc;2", game_column::joiner_move, "2"},
      {"03abc;2;s", game_column::creator_setup, "s"},
      {"03abc;x;s", game_column::joiner_setup, "s"},
  };
  for (const auto& c : cases) {
    rooms.clear_room(1);
    start_game();
    EXPECT_EQ(gamee(c.request), nullopt) << c.request;
    EXPECT_EQ(rooms.field(1, c.column), c.stored) << c.request;
  }
}

TEST_F(GameRooms, CreateTakesTheFirstFreeRowAndLookupFindsRoomsPastAGap) {
  for (std::string code : {"a", "b", "c"}) gamee("00" + code + ";");
  rooms.clear_room(2);
  EXPECT_EQ(gamee("01c;"), "gameegdem;1;1;") << "found in row 3 past the free row 2";
  EXPECT_EQ(gamee("00c;"), nullopt) << "still taken, row 2 stays free";
  EXPECT_EQ(rooms.field(2, game_column::game_kod), "");

  EXPECT_EQ(gamee("00b;"), "gameegdem;2;1;") << "a freed code starts a new room";
  EXPECT_EQ(rooms.field(2, game_column::game_kod), "b");
  EXPECT_EQ(rooms.field(2, game_column::state), "1");
  EXPECT_EQ(gamee("00d;"), "gameegdem;2;1;");
  EXPECT_EQ(rooms.field(4, game_column::game_kod), "d");
}

TEST_F(GameRooms, CreateForATakenCodeIsSilentAndChangesNothing) {
  gamee("00wait;");
  start_game();
  gamee("03abc;2;setup");
  gamee("05abc;1;move");
  auto waiting = fields(1);
  auto playing = fields(2);
  size_t log_lines = log.size();
  switches.set(log_category::game_creation, true);

  EXPECT_EQ(gamee("00wait;"), nullopt);
  EXPECT_EQ(gamee("00abc;"), nullopt);

  EXPECT_EQ(fields(1), waiting);
  EXPECT_EQ(fields(2), playing);
  EXPECT_EQ(rooms.active_count(), 2);
  EXPECT_EQ(log.size(), log_lines);
}

TEST_F(GameRooms, EmptyRoomCodeNamesNoRoom) {
  gamee("00x;");
  gamee("00y;");
  rooms.clear_room(1);  // the free row an empty code would otherwise hit
  const std::vector<std::string> requests = {
      "00;", "01;", "02;", "03;2;data", "04;2;", "05;2;move", "06;2;",
      "00abc",  // no ";": the code is empty
      "0", "",
  };
  for (const auto& request : requests) {
    EXPECT_EQ(gamee(request), "gameeer01;") << '"' << request << '"';
    EXPECT_EQ(fields(1), room_fields{}) << '"' << request << '"';
  }
  EXPECT_EQ(rooms.active_count(), 1);
}

TEST_F(GameRooms, CodeThatNamesNoRoomGetsEr01ForEverySubCommand) {
  start_game();
  auto room = fields(1);
  for (std::string request : {"01abd;", "02abd;", "03abd;2;d", "04abd;2;", "05abd;2;m", "06abd;2;", "99abd;"}) {
    EXPECT_EQ(gamee(request), "gameeer01;") << request;
  }
  EXPECT_EQ(fields(1), room);
  EXPECT_EQ(rooms.active_count(), 1);
}

TEST_F(GameRooms, UnknownSubCommandOnARoomGetsNoReplyAndChangesNothing) {
  start_game();
  gamee("05abc;2;move");
  auto room = fields(1);
  for (std::string request : {"07abc;2;x", "99abc;", "  abc;", "1 abc;"}) {
    EXPECT_EQ(gamee(request), nullopt) << request;
  }
  EXPECT_EQ(fields(1), room);
}

TEST_F(GameRooms, FullTableRefusesCreateButKeepsServingItsRooms) {
  fill_table();
  ASSERT_EQ(rooms.active_count(), game_rooms::room_count);
  switches.set(log_category::game_creation, true);

  EXPECT_EQ(gamee("00extra;"), "gameeer01;");
  EXPECT_EQ(gamee("01extra;"), "gameeer01;");
  EXPECT_EQ(rooms.active_count(), game_rooms::room_count);
  EXPECT_EQ(log.size(), 0u);
  EXPECT_EQ(gamee("00r1000;"), nullopt) << "a taken code stays silent on a full table";
  EXPECT_EQ(gamee("01r1000;"), "gameegdem;1;1;");

  rooms.clear_room(500);
  EXPECT_EQ(gamee("00extra;"), "gameegdem;2;1;");
  EXPECT_EQ(rooms.field(500, game_column::game_kod), "extra");
}

TEST_F(GameRooms, CreationIsLoggedOnlyWhileItsSwitchIsOnAndAJoinAlways) {
  gamee("00a;");
  EXPECT_EQ(log.size(), 0u);
  switches.set(log_category::game_creation, true);
  gamee("00b;");
  gamee("01b;");
  gamee("01b;");  // refused: not logged
  gamee("01zz;");
  switches.set(log_category::game_creation, false);
  gamee("00c;");
  gamee("01a;");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "[05.03.2024] 10:00:30: создана игра",
                             "[05.03.2024] 10:00:30: начали играть",
                             "[05.03.2024] 10:00:30: начали играть",
                         }));
}

TEST_F(GameRooms, RoomCodeIsComparedByteForByte) {
  gamee("00Abc;");
  EXPECT_EQ(gamee("01abc;"), "gameeer01;");
  EXPECT_EQ(gamee("01Abc ;"), "gameeer01;");
  EXPECT_EQ(gamee("01Abc;"), "gameegdem;1;1;");
}

TEST_F(GameRooms, HousekeepingReadsStampsAndClearsRooms) {
  start_game();
  gamee("00other;");
  rooms.set_field(2, game_column::creator_move_time, "10:00:30");
  EXPECT_EQ(rooms.field(2, game_column::creator_move_time), "10:00:30");
  EXPECT_EQ(rooms.active_count(), 2);

  rooms.clear_room(1);
  EXPECT_EQ(fields(1), room_fields{});
  EXPECT_EQ(rooms.active_count(), 1);
  EXPECT_EQ(gamee("02abc;"), "gameeer01;");
}

TEST_F(GameRooms, RoomAndColumnNumbersOutsideTheTableThrow) {
  const std::vector<std::pair<int, int>> outside = {{0, 1}, {1001, 1}, {-1, 1}, {1, 0}, {1, 12}, {1000, -3}};
  for (auto [room, column] : outside) {
    EXPECT_THROW(rooms.field(room, column), std::out_of_range) << room << "," << column;
    EXPECT_THROW(rooms.set_field(room, column, "x"), std::out_of_range) << room << "," << column;
  }
  EXPECT_THROW(rooms.clear_room(0), std::out_of_range);
  EXPECT_THROW(rooms.clear_room(1001), std::out_of_range);
  EXPECT_NO_THROW(rooms.set_field(1000, 11, "x"));
  EXPECT_EQ(rooms.field(1000, 11), "x");
  // The rooms keep an index of their codes, which only create and clear change.
  EXPECT_THROW(rooms.set_field(1, game_column::game_kod, "x"), std::invalid_argument);
}

TEST(GameRoomsDraw, DefaultDrawGivesEveryPairOfNumbersAndTheJoinerTheOther) {
  manual_clock clock{make_local(2024, 3, 5)};
  log_switches switches;
  event_log log{clock, switches};
  game_rooms rooms{clock, log};
  std::set<std::pair<std::string, std::string>> seen;
  for (int room = 1; room <= 200; ++room) {
    rooms.gamee("Uche", "00r" + std::to_string(room) + ";");
    const auto& creator = rooms.field(room, game_column::creator_number);
    const auto& joiner = rooms.field(room, game_column::joiner_number);
    ASSERT_TRUE(creator == "1" || creator == "2") << creator;
    EXPECT_EQ(joiner, creator == "1" ? "2" : "1");
    seen.emplace(creator, rooms.field(room, game_column::shared_draw));
  }
  // Chance of a pair missing from 200 fair, independent draws: below 10^-24.
  EXPECT_EQ(seen, (std::set<std::pair<std::string, std::string>>{{"1", "1"}, {"1", "2"}, {"2", "1"}, {"2", "2"}}));
}

}  // namespace
}  // namespace velmira
