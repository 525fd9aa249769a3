#include "protocol/game_rooms.hpp"

#include <random>
#include <stdexcept>
#include <utility>

#include "core/fields.hpp"

namespace velmira {

namespace {

const std::string no_room = "gameeer01;";
constexpr int minutes_per_day = 24 * 60;
// A player who has not moved for more than this many whole minutes ends the room.
constexpr int idle_minutes = 3;

// Minutes from `earlier` to `later`, both minutes of the day. A stamp from
// before midnight counts forward across it; without that a room idle over
// midnight would never expire, and the 1000 rooms would fill up for good.
int minutes_since(int earlier, int later) { return (later - earlier + minutes_per_day) % minutes_per_day; }

int minute_of_day(local_seconds t) {
  auto since_midnight = t - std::chrono::floor<std::chrono::days>(t);
  return static_cast<int>(std::chrono::duration_cast<std::chrono::minutes>(since_midnight).count());
}

// Columns keep their numbers from 1; the row stores them from 0.
template <class Row>
auto& cell(Row& row, int column) {
  return row[static_cast<size_t>(column - 1)];
}

void check_column(int column) {
  if (column < 1 || column > game_rooms::column_count) throw std::out_of_range("game_table column");
}

// Rooms keep their numbers from 1 as well.
size_t row_index(int room) {
  if (room < 1 || room > game_rooms::room_count) throw std::out_of_range("game_table room");
  return static_cast<size_t>(room - 1);
}

// Cuts the player number; any value other than the creator's number speaks
// for the joiner, an empty or unknown one too.
bool speaks_for_creator(const std::array<std::string, game_rooms::column_count>& row,
                        std::string_view& rest) {
  return cut_field(rest, ';') == cell(row, game_column::creator_number);
}

}  // namespace

player_draw random_player_draw() {
  return [engine = std::mt19937(std::random_device{}())]() mutable {
    return std::uniform_int_distribution<int>(0, 1)(engine) == 0 ? '1' : '2';
  };
}

game_rooms::game_rooms(const clock_source& clock, event_log& log, player_draw draw)
    : clock_(clock), log_(log), draw_(std::move(draw)), game_table_(room_count) {
  for (size_t i = 0; i < game_table_.size(); ++i) free_rows_.insert(free_rows_.end(), i);
}

std::optional<std::string> game_rooms::gamee(std::string_view /*rol*/, std::string_view arguments) {
  mutex_lock lock(mutex_);
  auto game_cmd = arguments.substr(0, 2);
  auto rest = arguments.substr(game_cmd.size());
  auto game_kod = cut_field(rest, ';');
  // An empty code would match the first free row and let posts write into
  // it; no client sends one, so it names no room.
  if (game_kod.empty()) return no_room;

  auto found = look_up(game_kod);
  if (game_cmd == "00") {
    // A second create for a taken code must not disturb the running game.
    if (found.room != nullptr) return std::nullopt;
    if (found.free_slot == nullptr) return no_room;
    return create(*found.free_slot, game_kod);
  }
  if (found.room == nullptr) return no_room;
  return serve_room(*found.room, game_cmd, rest);
}

game_rooms::lookup_result game_rooms::look_up(std::string_view game_kod) {
  lookup_result found;
  if (auto room = rows_by_code_.find(std::string(game_kod)); room != rows_by_code_.end()) {
    found.room = &game_table_[room->second];
  }
  if (!free_rows_.empty()) found.free_slot = &game_table_[*free_rows_.begin()];
  return found;
}

void game_rooms::free_row(game_room& row) {
  auto index = static_cast<size_t>(&row - game_table_.data());
  rows_by_code_.erase(cell(row, game_column::game_kod));
  row = game_room{};
  free_rows_.insert(index);
}

std::string game_rooms::create(game_room& row, std::string_view game_kod) {
  auto index = static_cast<size_t>(&row - game_table_.data());
  free_rows_.erase(index);
  rows_by_code_.emplace(game_kod, index);
  char creator = draw_();
  cell(row, game_column::game_kod) = game_kod;
  cell(row, game_column::state) = "1";
  cell(row, game_column::creator_number) = std::string(1, creator);
  cell(row, game_column::joiner_number) = creator == '1' ? "2" : "1";
  cell(row, game_column::shared_draw) = std::string(1, draw_());
  log_.append_event(log_category::game_creation, "создана игра");
  return "gameegdem;" + cell(row, game_column::creator_number) + ";" +
         cell(row, game_column::shared_draw) + ";";
}

std::optional<std::string> game_rooms::serve_room(game_room& row, std::string_view game_cmd,
                                                  std::string_view rest) {
  static constexpr column_pair setup{game_column::creator_setup, game_column::joiner_setup};
  static constexpr column_pair move{game_column::creator_move, game_column::joiner_move};
  static constexpr column_pair move_time{game_column::creator_move_time,
                                         game_column::joiner_move_time};
  if (game_cmd == "01") return join(row);
  if (game_cmd == "02") {
    if (cell(row, game_column::state) == "2") return "gameerasst;";
  } else if (game_cmd == "03") {
    post(row, rest, setup, std::nullopt);
  } else if (game_cmd == "04") {
    return collect(row, rest, setup, "gameego;");
  } else if (game_cmd == "05") {
    post(row, rest, move, move_time);
  } else if (game_cmd == "06") {
    return collect(row, rest, move, "gameehod;");
  }
  return std::nullopt;
}

std::string game_rooms::join(game_room& row) {
  if (cell(row, game_column::state) != "1") return no_room;
  cell(row, game_column::state) = "2";
  log_.append_event("начали играть");
  return "gameegdem;" + cell(row, game_column::joiner_number) + ";" +
         cell(row, game_column::shared_draw) + ";";
}

// The data is the whole rest of the line and may itself hold ";". A new post
// overwrites an uncollected one.
void game_rooms::post(game_room& row, std::string_view rest, column_pair mailbox,
                      std::optional<column_pair> stamp) {
  bool creator = speaks_for_creator(row, rest);
  cell(row, creator ? mailbox.creator : mailbox.joiner) = rest;
  if (stamp) cell(row, creator ? stamp->creator : stamp->joiner) = time_text(clock_.now());
}

// Collecting takes the other player's message once.
std::optional<std::string> game_rooms::collect(game_room& row, std::string_view rest,
                                               column_pair mailbox, std::string_view reply_word) {
  bool creator = speaks_for_creator(row, rest);
  auto& box = cell(row, creator ? mailbox.joiner : mailbox.creator);
  if (box.empty()) return std::nullopt;
  std::string reply = std::string(reply_word) + box;
  box.clear();
  return reply;
}

int game_rooms::expire_idle(local_seconds now) {
  mutex_lock lock(mutex_);
  int active = 0;
  for (int n = 1; n <= room_count; ++n) {
    auto& row = row_at(n);
    if (!cell(row, game_column::game_kod).empty()) ++active;
    GameKomnClear(n, row, now);
  }
  return active;
}

void game_rooms::GameKomnClear(int n, game_room& row, local_seconds now) {
  if (chislo(cell(row, game_column::state)) == 0) return;
  int minute = minute_of_day(now);
  int creator_moved = stamped_minute(cell(row, game_column::creator_move_time), now);
  int joiner_moved = stamped_minute(cell(row, game_column::joiner_move_time), now);
  if (minutes_since(creator_moved, minute) > idle_minutes || minutes_since(joiner_moved, minute) > idle_minutes) {
    free_row(row);
    log_.append_event("комната с игрой №" + std::to_string(n) + " очищена");
  }
}

// A new room carries no stamps yet and gets the current time on its first
// tick. A stamp that cannot be read is stamped afresh too: the room then
// expires as usual instead of stopping every later tick.
int game_rooms::stamped_minute(std::string& stamp, local_seconds now) {
  if (auto minute = TimToMin(stamp)) return *minute;
  stamp = time_text(now);
  return minute_of_day(now);
}

int game_rooms::active_count() const {
  mutex_lock lock(mutex_);
  int active = 0;
  for (const auto& row : game_table_) {
    if (!cell(row, game_column::game_kod).empty()) ++active;
  }
  return active;
}

std::string game_rooms::field(int room, int column) const {
  check_column(column);
  mutex_lock lock(mutex_);
  return cell(row_at(room), column);
}

void game_rooms::set_field(int room, int column, std::string value) {
  check_column(column);
  mutex_lock lock(mutex_);
  auto& row = row_at(room);
  if (column == game_column::game_kod) throw std::invalid_argument("a room's code changes only by create and clear");
  cell(row, column) = std::move(value);
}

void game_rooms::clear_room(int room) {
  mutex_lock lock(mutex_);
  free_row(row_at(room));
}

game_rooms::game_room& game_rooms::row_at(int room) { return game_table_[row_index(room)]; }

const game_rooms::game_room& game_rooms::row_at(int room) const { return game_table_[row_index(room)]; }

}  // namespace velmira
