#pragma once
// "gamee": the two-player game relay. The server knows no game rules; it
// pairs two clients under a room code both know, draws their player numbers
// and relays their messages through one-message mailboxes each client polls.
//
// The rooms live in `game_table`, in memory only and all free at start-up.
// A room ends only when expire_idle finds a player idle too long.
//
// Thread-safety: every operation takes the rooms' own lock, and no other:
// game traffic never waits for the operator's work. All texts are
// Windows-1251 unless named utf8.
#include <array>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/event_log.hpp"
#include "core/mutex.hpp"

namespace velmira {

// The columns of a room, numbered from 1 as the housekeeping names them.
namespace game_column {
inline constexpr int game_kod = 1;            // room code; empty = free row
inline constexpr int state = 2;               // "1" waiting, "2" playing
inline constexpr int creator_number = 3;      // "1" or "2", drawn
inline constexpr int joiner_number = 4;       // the other number
inline constexpr int shared_draw = 5;         // "1" or "2", drawn, sent to both
inline constexpr int creator_setup = 6;       // mailboxes, one message each
inline constexpr int joiner_setup = 7;
inline constexpr int creator_move = 8;
inline constexpr int joiner_move = 9;
inline constexpr int creator_move_time = 10;  // "H:mm:ss" of the last move
inline constexpr int joiner_move_time = 11;
}  // namespace game_column

// Returns '1' or '2'. Called under the rooms' lock only.
using player_draw = std::function<char()>;

// Equal chances for '1' and '2', seeded from the system's entropy source.
player_draw random_player_draw();

class game_rooms {
 public:
  static constexpr int room_count = 1000;
  static constexpr int column_count = 11;

  // `clock` and `log` must outlive this.
  game_rooms(const clock_source& clock, event_log& log, player_draw draw = random_player_draw());

  // One "gamee" request; the role code is not examined. Returns the reply,
  // or nothing for the requests that get none. Never throws for any input.
  std::optional<std::string> gamee(std::string_view rol, std::string_view arguments);

  // The housekeeping's step: frees every room in which a player has not
  // moved for more than three whole minutes, and returns how many rooms
  // were in use when the step began (a room freed now still counts).
  // `now` is the tick's one reading of the clock.
  int expire_idle(local_seconds now);

  // Rooms are numbered 1..room_count and columns 1..column_count; other
  // numbers throw std::out_of_range. A room's code is not set_field's to
  // change (std::invalid_argument).
  int active_count() const;  // rows whose room code is not empty
  std::string field(int room, int column) const;
  void set_field(int room, int column, std::string value);
  void clear_room(int room);  // all 11 columns emptied: the row is free

 private:
  using game_room = std::array<std::string, column_count>;

  struct lookup_result {
    game_room* room = nullptr;       // the first row holding the code
    game_room* free_slot = nullptr;  // the first free row
  };
  // Which column of a creator/joiner pair a request speaks for.
  struct column_pair {
    int creator;
    int joiner;
  };

  lookup_result look_up(std::string_view game_kod) REQUIRES(mutex_);
  std::string create(game_room& row, std::string_view game_kod) REQUIRES(mutex_);
  void free_row(game_room& row) REQUIRES(mutex_);
  std::optional<std::string> serve_room(game_room& row, std::string_view game_cmd,
                                        std::string_view rest) REQUIRES(mutex_);
  std::string join(game_room& row) REQUIRES(mutex_);
  void post(game_room& row, std::string_view rest, column_pair mailbox,
            std::optional<column_pair> stamp) REQUIRES(mutex_);
  static std::optional<std::string> collect(game_room& row, std::string_view rest,
                                            column_pair mailbox, std::string_view reply_word);

  // GameKomnClear: frees room `n` when one of its players is idle too long.
  void GameKomnClear(int n, game_room& row, local_seconds now) REQUIRES(mutex_);
  // The minute of day of a move stamp; an empty or unreadable stamp is
  // stamped with `now` first.
  static int stamped_minute(std::string& stamp, local_seconds now);

  game_room& row_at(int room) REQUIRES(mutex_);
  const game_room& row_at(int room) const REQUIRES(mutex_);

  const clock_source& clock_;
  event_log& log_;
  mutable mutex mutex_;
  player_draw draw_ GUARDED_BY(mutex_);
  std::vector<game_room> game_table_ GUARDED_BY(mutex_);
  // Which row holds each code, and which rows are free, lowest first: a
  // room is found without comparing codes row by row.
  std::unordered_map<std::string, size_t> rows_by_code_ GUARDED_BY(mutex_);
  std::set<size_t> free_rows_ GUARDED_BY(mutex_);
};

}  // namespace velmira
