#include "maintenance/housekeeping.hpp"

#include <exception>
#include <optional>

#include "core/fields.hpp"
#include "maintenance/date_reading.hpp"

namespace velmira {

using namespace std::chrono;

namespace {

constexpr std::string_view purge_second = "0:05:00";
constexpr int days_per_month = 30;
constexpr int minutes_per_day = 24 * 60;
// A player who has not moved for more than this many whole minutes ends the room.
constexpr int idle_minutes = 3;

// Minutes from `earlier` to `later`, both minutes of the day. A stamp from
// before midnight counts forward across it; without that a room idle over
// midnight would never expire, and the 1000 rooms would fill up for good.
int minutes_since(int earlier, int later) { return (later - earlier + minutes_per_day) % minutes_per_day; }

std::string months_text(int months) {
  return std::to_string(months) + (months == 1 ? " месяца" : " месяцев");
}

// The month count of a purge that is switched on; nothing while no age is
// selected, since purging without a known age could remove everything.
std::optional<int> month_count(const purge_selector& selector) {
  if (!selector.on || selector.age_index < 0) return std::nullopt;
  return selector.age_index + 1;
}

local_days oldest_kept(local_days today, int months) { return today - days(months * days_per_month); }

}  // namespace

housekeeping::housekeeping(const data_directory& data, const settings_page& settings, server_page& page,
                           game_rooms& rooms, event_log& log, const clock_source& clock)
    : data_(data), settings_(settings), page_(page), rooms_(rooms), log_(log), clock_(clock) {}

void housekeeping::tick() {
  auto now = clock_.now();
  auto since_midnight = now - floor<days>(now);
  moment m{now, time_text(now), static_cast<int>(duration_cast<minutes>(since_midnight).count())};
  int active = expire_rooms(m);
  page_.game_counter_text = std::to_string(active) + " игр активно";
  if (m.time == purge_second) purge_content(m);
}

// A room cleared in this tick still counts in this tick.
int housekeeping::expire_rooms(const moment& m) {
  int active = 0;
  for (int n = 1; n <= game_rooms::room_count; ++n) {
    if (!rooms_.field(n, game_column::game_kod).empty()) ++active;
    GameKomnClear(n, m);
  }
  return active;
}

void housekeeping::GameKomnClear(int n, const moment& m) {
  if (chislo(rooms_.field(n, game_column::state)) == 0) return;
  int creator_moved = stamped_minute(n, game_column::creator_move_time, m);
  int joiner_moved = stamped_minute(n, game_column::joiner_move_time, m);
  if (minutes_since(creator_moved, m.minute_of_day) > idle_minutes ||
      minutes_since(joiner_moved, m.minute_of_day) > idle_minutes) {
    rooms_.clear_room(n);
    log_.append(": комната с игрой №" + std::to_string(n) + " очищена");
  }
}

// A new room carries no stamps yet and gets the current time on its first
// tick. A stamp that cannot be read is stamped afresh too: the room then
// expires as usual instead of stopping every later tick.
int housekeeping::stamped_minute(int n, int column, const moment& m) {
  if (auto minute = TimToMin(rooms_.field(n, column))) return *minute;
  rooms_.set_field(n, column, m.time);
  return m.minute_of_day;
}

void housekeeping::purge_content(const moment& m) {
  auto today = floor<days>(m.now);
  if (auto months = month_count(settings_.purge_news)) purge_news(today, *months);
  if (settings_.purge_notes) purge_notes(today);
  if (auto months = month_count(settings_.purge_timetables)) {
    purge_dated("raspisanie", today, *months, false, ": удалено расписание старше " + months_text(*months));
  }
  if (auto months = month_count(settings_.purge_menus)) {
    purge_dated("menu", today, *months, true, ": удалено меню старше " + months_text(*months));
  }
}

void housekeeping::purge_news(local_days today, int months) {
  record_keep_rule rule{oldest_kept(today, months), true};
  run_purge("news\\data.ini", "записей", ": удалены объявления старше " + months_text(months),
            [&] { return purge_records(data_, "news", rule); });
}

void housekeeping::purge_notes(local_days today) {
  record_keep_rule rule{today, false};
  run_purge("zametki\\data.ini", "записей", ": удалены заметки старше 1 дня",
            [&] { return purge_records(data_, "zametki", rule); });
}

void housekeeping::purge_dated(std::string_view folder, local_days today, int months, bool with_date_folders,
                               const std::string& removed_text_utf8) {
  auto path = data_.file(folder);
  run_purge(folder, "файлов", removed_text_utf8,
            [&] { return purge_dated_files(path, oldest_kept(today, months), with_date_folders); });
}

void housekeeping::run_purge(std::string_view where, std::string_view kept_kind_utf8,
                             const std::string& removed_text_utf8, const std::function<purge_outcome()>& purge) {
  std::string where_text(where);
  try {
    auto outcome = purge();
    if (outcome.removed) log_.append(removed_text_utf8);
    if (!outcome.unreadable_utf8.empty()) {
      log_.append(": в " + where_text + " оставлено " + std::string(kept_kind_utf8) +
                  " с нечитаемой датой: " + std::to_string(outcome.unreadable_utf8.size()) + ", например \"" +
                  outcome.unreadable_utf8.front() + "\"");
    }
  } catch (const std::exception& e) {
    log_.append(": не удалось выполнить очистку " + where_text + ": " + e.what());
  }
}

}  // namespace velmira
