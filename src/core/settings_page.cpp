#include "core/settings_page.hpp"

#include <algorithm>
#include <array>
#include <string_view>

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

constexpr unsigned highest_port = 65535;

// The number of a field that has passed the digits check, however many
// digits it has; nothing past highest_port.
std::optional<unsigned> port_number(std::string_view digits) {
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
  auto value = digits_value(digits, 0, 5);
  if (!value || *value > highest_port) return std::nullopt;
  return value;
}

// The ports of a page whose port fields are all digits.
std::optional<save_refusal> port_refusal(const settings_page& page) {
  auto tcp = port_number(page.main_tcp_port);
  auto http = port_number(page.data_http_port);
  if (!tcp || !http || !port_number(page.file_server_port)) return save_refusal::port_out_of_range;
  if (*tcp != 0 && *tcp == *http) return save_refusal::same_ports;
  return std::nullopt;
}

struct refusal_texts {
  const char* message;   // shown to the operator
  const char* log_text;  // after the log prefix
};

// By save_refusal; the first two are the specified texts, typing included.
constexpr std::array<refusal_texts, 4> refusal_table = {{
    {"Не заполнены ВСЕ поля раздаела \"Порт\". Можно использовать только буквы латинского алфавита, "
     "цифры, знаки _ и -",
     "не заполнены ВСЕ поля раздаела \"Порт\""},
    {"Не заполнены ВСЕ поля раздела \"Порт\" и \"Данные для удаленного администрирования\". Можно "
     "использовать только буквы латинского алфавита, цифры, знаки _ и -",
     "не заполнены ВСЕ поля раздаела \"Данные для удаленного администрирования\""},
    {"Номер порта не может быть больше 65535: исправьте поля раздела \"Порт\"", "номер порта больше 65535"},
    {"Основной порт (TCP) и порт HTTP для расписания, заметок и новостей не могут совпадать",
     "основной порт (TCP) совпадает с портом HTTP"},
}};

const refusal_texts& texts_of(save_refusal refusal) { return refusal_table.at(static_cast<std::size_t>(refusal)); }

}  // namespace

std::optional<save_refusal> settings_save_refusal(const settings_page& page) {
  if (!page.local_only_visible) return std::nullopt;
  if (page.selected_mode == operating_mode::local) {
    if (!port_group_valid(page)) return save_refusal::ports;
  } else if (!remote_group_valid(page) || !port_group_valid(page)) {
    return save_refusal::remote_administration;
  }
  return port_refusal(page);
}

const char* save_refusal_message(save_refusal refusal) { return texts_of(refusal).message; }

const char* save_refusal_log_text(save_refusal refusal) { return texts_of(refusal).log_text; }

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
