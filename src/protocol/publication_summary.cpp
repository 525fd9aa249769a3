#include "protocol/publication_summary.hpp"

#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {

namespace {
constexpr size_t timetable_values = 0, menu_values = 3, announcement_values = 6;
}  // namespace

void publication_summary::set_group(size_t first, local_seconds at, std::string message) {
  auto time = time_text(at);
  values_[first] = date_text(at);
  values_[first + 1] = time;
  values_[first + 2] = time + message;
}

void publication_summary::timetable_published(local_seconds at, std::string_view dat) {
  static const std::string message = from_utf8(": опубликовано расписание на ");
  set_group(timetable_values, at, message + std::string(dat));
}

void publication_summary::menu_published(local_seconds at, std::string_view dat) {
  static const std::string message = from_utf8(": опубликовано меню на ");
  set_group(menu_values, at, message + std::string(dat));
}

void publication_summary::announcement_added(local_seconds at, std::string_view author_full_name) {
  // Two spaces before the name, as clients have always received it.
  static const std::string message = from_utf8(": новое объявление от  ");
  set_group(announcement_values, at, message + std::string(author_full_name));
}

void publication_summary::clear_timetable_and_menu() {
  for (size_t i = timetable_values; i < announcement_values; ++i) values_[i].clear();
}

void publication_summary::SaveInfo() const {
  std::string line;
  for (const auto& value : values_) line += value + "$";
  write_lines(data_.file("raspisanie\\info.ini"), {line});
}

}  // namespace velmira
