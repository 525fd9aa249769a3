// The rooms' own expiry: the housekeeping calls it once a second.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/event_log.hpp"
#include "protocol/game_rooms.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

class GameRoomsExpiry : public ::testing::Test {
 protected:
  // The expiry step at `t`; returns the rooms it found in use.
  int tick_at(local_seconds t) {
    clock.set(t);
    return rooms.expire_idle(t);
  }
  void create_room(const std::string& code, local_seconds at, bool joined = true) {
    clock.set(at);
    ASSERT_TRUE(rooms.gamee("Uche", "00" + code + ";"));
    if (joined) {
      ASSERT_TRUE(rooms.gamee("Uche", "01" + code + ";"));
    }
  }
  void move(const std::string& code, char player, local_seconds at) {
    clock.set(at);
    rooms.gamee("Uche", "05" + code + ";" + player + ";e2e4");
  }
  bool room_free(int n) const { return rooms.field(n, game_column::game_kod).empty(); }

  manual_clock clock{make_local(2024, 3, 5, 10, 0, 30)};
  log_switches switches;
  event_log log{clock, switches};
  // Every creator is player 1, so "05code;1;" is the creator's move.
  game_rooms rooms{clock, log, [] { return '1'; }};
};

struct player_move {
  char player;
  local_seconds at;
};

struct expiry_case {
  const char* name;
  local_seconds created;
  bool joined;
  std::vector<player_move> moves;
  local_seconds checked;
  bool cleared;
};

local_seconds march5(int h, int m, int s) { return make_local(2024, 3, 5, h, m, s); }
local_seconds march6(int h, int m, int s) { return make_local(2024, 3, 6, h, m, s); }

void PrintTo(const expiry_case& c, std::ostream* os) { *os << c.name; }

class RoomExpiry : public GameRoomsExpiry, public ::testing::WithParamInterface<expiry_case> {};

TEST_P(RoomExpiry, ClearsARoomOnlyWhenAPlayerHasNotMovedForMoreThanThreeMinutes) {
  const auto& c = GetParam();
  create_room("abc", c.created, c.joined);
  tick_at(c.created);  // the first tick stamps the new room
  for (const auto& m : c.moves) move("abc", m.player, m.at);
  tick_at(c.checked);
  EXPECT_EQ(room_free(1), c.cleared);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RoomExpiry,
    ::testing::Values(
        expiry_case{"IdleRoomKeptAt10_03_59", march5(10, 0, 30), true, {}, march5(10, 3, 59), false},
        expiry_case{"IdleRoomClearedAt10_04", march5(10, 0, 30), true, {}, march5(10, 4, 0), true},
        expiry_case{"WaitingRoomClearedAt10_04", march5(10, 0, 30), false, {}, march5(10, 4, 0), true},
        expiry_case{"CreatorMovedAt10_02StillClearedAt10_04",
                    march5(10, 0, 30), true, {{'1', march5(10, 2, 0)}}, march5(10, 4, 0), true},
        expiry_case{"JoinerMovedAt10_02StillClearedAt10_04",
                    march5(10, 0, 30), true, {{'2', march5(10, 2, 0)}}, march5(10, 4, 0), true},
        expiry_case{"BothMovedAt10_02KeptAt10_05_59",
                    march5(10, 0, 30), true, {{'1', march5(10, 2, 0)}, {'2', march5(10, 2, 5)}}, march5(10, 5, 59),
                    false},
        expiry_case{"BothMovedAt10_02ClearedAt10_06",
                    march5(10, 0, 30), true, {{'1', march5(10, 2, 0)}, {'2', march5(10, 2, 5)}}, march5(10, 6, 0),
                    true},
        expiry_case{"StampedAt23_58KeptAt0_01_59", march5(23, 58, 10), true, {}, march6(0, 1, 59), false},
        expiry_case{"StampedAt23_58ClearedAt0_02AfterMidnight", march5(23, 58, 10), true, {}, march6(0, 2, 0), true}),
    testing::by_name);

TEST_F(GameRoomsExpiry, ANewRoomIsStampedOnItsFirstTickAndKeepsThatStamp) {
  create_room("abc", march5(10, 0, 30));
  tick_at(march5(10, 0, 30));
  EXPECT_EQ(rooms.field(1, game_column::creator_move_time), "10:00:30");
  EXPECT_EQ(rooms.field(1, game_column::joiner_move_time), "10:00:30");
  tick_at(march5(10, 0, 31));
  EXPECT_EQ(rooms.field(1, game_column::creator_move_time), "10:00:30");
}

TEST_F(GameRoomsExpiry, ClearingEmptiesEveryColumnLogsTheRoomAndStillCountsItThatTick) {
  create_room("busy", march5(10, 0, 30));
  create_room("idle", march5(10, 0, 30));
  tick_at(march5(10, 0, 30));
  move("busy", '1', march5(10, 2, 0));
  move("busy", '2', march5(10, 2, 0));

  int in_use = tick_at(march5(10, 4, 0));
  for (int column = 1; column <= game_rooms::column_count; ++column) {
    EXPECT_EQ(rooms.field(2, column), "") << "column " << column;
  }
  EXPECT_FALSE(room_free(1));
  EXPECT_EQ(log.lines().back(), "[05.03.2024] 10:04:00: комната с игрой №2 очищена");
  EXPECT_EQ(in_use, 2);
  EXPECT_EQ(tick_at(march5(10, 4, 1)), 1);
}

TEST_F(GameRoomsExpiry, CountsTheRoomsInUse) {
  EXPECT_EQ(tick_at(march5(10, 0, 30)), 0);

  for (const char* code : {"a", "b", "c"}) create_room(code, march5(10, 0, 30));
  EXPECT_EQ(tick_at(march5(10, 0, 31)), 3);
}

TEST_F(GameRoomsExpiry, AnUnreadableStampIsStampedAfreshInsteadOfStoppingTheTick) {
  create_room("abc", march5(10, 0, 30));
  move("abc", '2', march5(10, 3, 0));
  rooms.set_field(1, game_column::creator_move_time, "10:xx:00");

  int in_use = tick_at(march5(10, 3, 10));
  EXPECT_FALSE(room_free(1));
  EXPECT_EQ(rooms.field(1, game_column::creator_move_time), "10:03:10");
  EXPECT_EQ(in_use, 1);
}

}  // namespace
}  // namespace velmira
