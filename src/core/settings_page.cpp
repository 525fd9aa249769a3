#include "core/settings_page.hpp"

#include "core/fields.hpp"

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

namespace {

bool port_group_valid(const settings_page& page) {
  return PoiskBukv(page.file_server_port, 2) && PoiskBukv(page.main_tcp_port, 2) && PoiskBukv(page.data_http_port, 2) &&
         PoiskBukv(page.http_login, 1) && PoiskBukv(page.http_password, 1);
}

bool remote_group_valid(const settings_page& page) {
  return PoiskBukv(page.admin_login, 1) && PoiskBukv(page.admin_password, 1) && !page.master_address.empty();
}

}  // namespace

std::optional<save_refusal> settings_save_refusal(const settings_page& page) {
  if (!page.local_only_visible) return std::nullopt;
  if (page.selected_mode == operating_mode::local) {
    return port_group_valid(page) ? std::nullopt : std::optional(save_refusal::ports);
  }
  if (remote_group_valid(page) && port_group_valid(page)) return std::nullopt;
  return save_refusal::remote_administration;
}

const char* save_refusal_message(save_refusal refusal) {
  return refusal == save_refusal::ports
             ? "Не заполнены ВСЕ поля раздаела \"Порт\". Можно использовать только буквы латинского алфавита, "
               "цифры, знаки _ и -"
             : "Не заполнены ВСЕ поля раздела \"Порт\" и \"Данные для удаленного администрирования\". Можно "
               "использовать только буквы латинского алфавита, цифры, знаки _ и -";
}

const char* save_refusal_log_text(save_refusal refusal) {
  return refusal == save_refusal::ports ? "не заполнены ВСЕ поля раздаела \"Порт\""
                                        : "не заполнены ВСЕ поля раздаела \"Данные для удаленного администрирования\"";
}

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
