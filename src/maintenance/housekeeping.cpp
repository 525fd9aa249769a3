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
                           game_room_expiry expire_rooms, event_log& log, const clock_source& clock)
    : data_(data), settings_(settings), page_(page), expire_rooms_(std::move(expire_rooms)), log_(log), clock_(clock) {}

void housekeeping::tick() {
  auto now = clock_.now();
  page_.game_counter_text = std::to_string(expire_rooms_(now)) + " игр активно";
  if (time_text(now) == purge_second) purge_content(now);
}

void housekeeping::purge_content(local_seconds now) {
  auto today = floor<days>(now);
  if (auto months = month_count(settings_.purge_news)) purge_news(today, *months);
  if (settings_.purge_notes) purge_notes(today);
  if (auto months = month_count(settings_.purge_timetables)) {
    purge_dated("raspisanie", today, *months, false, "удалено расписание старше " + months_text(*months));
  }
  if (auto months = month_count(settings_.purge_menus)) {
    purge_dated("menu", today, *months, true, "удалено меню старше " + months_text(*months));
  }
}

void housekeeping::purge_news(local_days today, int months) {
  record_keep_rule rule{oldest_kept(today, months), true};
  run_purge("news\\data.ini", "записей", "удалены объявления старше " + months_text(months),
            [&] { return purge_records(data_, "news", rule); });
}

void housekeeping::purge_notes(local_days today) {
  record_keep_rule rule{today, false};
  run_purge("zametki\\data.ini", "записей", "удалены заметки старше 1 дня",
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
    if (outcome.removed) log_.append_event(removed_text_utf8);
    if (!outcome.unreadable_utf8.empty()) {
      log_.append_event("в " + where_text + " оставлено " + std::string(kept_kind_utf8) +
                  " с нечитаемой датой: " + std::to_string(outcome.unreadable_utf8.size()) + ", например \"" +
                  outcome.unreadable_utf8.front() + "\"");
    }
  } catch (const std::exception& e) {
    log_.append_event("не удалось выполнить очистку " + where_text + ": " + e.what());
  }
}

}  // namespace velmira
