#include "core/settings_page.hpp"

namespace velmira {

namespace {
const char* month_unit(int index) { return index == 0 ? "месяца" : "месяцев"; }
}  // namespace

void purge_selector::select(int index) {
  age_index = index >= 0 && index < list_size ? index : -1;
  unit_label = month_unit(age_index);
}

void purge_selector::tick() {
  on = true;
  list_enabled = true;
  select(0);
}

void purge_selector::untick() {
  on = false;
  age_index = -1;
  list_enabled = false;
}

settings_page::settings_page() { purge_news.list_size = 6; }

bool server_page::shows_local_mode() const {
  return mode_caption == std::string("Режим: ") + local_mode_caption;
}

void server_page::show_mode(operating_mode mode) {
  bool local = mode == operating_mode::local;
  start_stop_visible = local;
  game_counter_visible = local;
  request_data_visible = !local;
  mode_caption = std::string("Режим: ") + (local ? local_mode_caption : remote_mode_caption);
}

}  // namespace velmira
