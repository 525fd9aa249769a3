#include "core/settings_file.hpp"

#include <charconv>

#include "core/data_file.hpp"
#include "core/fields.hpp"
#include "core/operator_error.hpp"
#include "core/text_codec.hpp"

namespace velmira {

namespace {

constexpr std::array<int, 12> mas_set_lines = {2, 3, 4, 9, 10, 22, 27, 29, 30, 31, 32, 33};

std::string switch_text(bool on) { return on ? "1" : "0"; }

std::string purge_text(const purge_selector& p) {
  return switch_text(p.on) + ";" + std::to_string(p.on ? p.age_index : -1) + ";";
}

std::string prefixed(std::string_view dop, std::string_view name) {
  return std::string(dop) + std::string(name);
}

}  // namespace

int mas_set_entry(int line) {
  for (size_t i = 0; i < mas_set_lines.size(); ++i) {
    if (mas_set_lines[i] == line) return static_cast<int>(i) + 1;
  }
  return 0;
}

settings_file::settings_file(const data_directory& data, settings_page& page, server_page& server,
                             const autostart_entry& autostart, calendar_editor_hooks calendar)
    : data_(data), page_(page), server_(server), autostart_(autostart), calendar_(std::move(calendar)) {}

void settings_file::SetLoad(std::string_view dop) {
  auto path = data_.file(prefixed(dop, "setting.ini"));
  auto lines = read_lines(path);
  if (!lines) {
    throw data_file_error(std::make_error_code(std::errc::no_such_file_or_directory), path,
                          "cannot open");
  }
  lines->resize(std::max<size_t>(lines->size(), settings_line_count));
  bool master_copy = !dop.empty();
  for (int number = 1; number <= settings_line_count; ++number) {
    const std::string& value = (*lines)[static_cast<size_t>(number - 1)];
    if (number >= 24 && number <= 26) {
      load_purge_line(number, value);
    } else if (number == 28) {
      load_calendar_line(value, dop);
    } else if (number == 29) {
      load_mode_line(value, master_copy);
    } else {
      load_line(number, value, master_copy);
    }
  }
}

void settings_file::load_line(int number, const std::string& value, bool master_copy) {
  if (int entry = mas_set_entry(number); entry != 0 && master_copy) {
    mas_set[static_cast<size_t>(entry - 1)] = value;
    return;
  }
  bool on = value == "1";
  switch (number) {
    case 1: page_.client_version = value; break;
    case 2: page_.main_tcp_port = value; break;
    case 3: page_.data_http_port = port_HTTP = value; break;
    case 4: page_.file_server_port = value; break;
    case 5: page_.phone = value; break;
    case 6: page_.site = value; break;
    case 7: page_.email = value; break;
    case 8: page_.vk = value; break;
    case 9: page_.http_login = login_HTTP = value; break;
    case 10: page_.http_password = pas_HTTP = value; break;
    case 22: page_.hide_at_startup = on; break;
    case 23: page_.purge_notes = on; break;
    case 27: page_.autostart = on; break;
    case 30: page_.allow_remote_admin = on; break;
    case 31: page_.admin_login = value; break;
    case 32: page_.admin_password = value; break;
    case 33: page_.master_address = value; break;
    default: page_.log.set(static_cast<log_category>(number), on); break;
  }
}

void settings_file::load_purge_line(int number, const std::string& value) {
  purge_selector& purge = number == 24 ? page_.purge_news
                          : number == 25 ? page_.purge_menus
                                         : page_.purge_timetables;
  auto line = read_purge_line(value);
  if (!line.on) {
    purge.untick();
    if (number == 24) page_.purge_notes = false;
    return;
  }
  if (!line.index) {
    throw operator_error("Строка " + std::to_string(number) + " файла настроек: '" + to_utf8(value) +
                         "' — номер срока не является целым числом");
  }
  purge.on = true;
  purge.list_enabled = true;
  purge.select(*line.index);
}

purge_line read_purge_line(std::string_view value) {
  std::string_view rest = value;
  if (cut_field(rest, ';') != "1") return {};
  std::string_view index_text = cut_field(rest, ';');
  int index = 0;
  auto [end, ec] = std::from_chars(index_text.data(), index_text.data() + index_text.size(), index);
  bool integer = ec == std::errc{} && end == index_text.data() + index_text.size() && !index_text.empty();
  return {true, integer ? std::optional(index) : std::nullopt};
}

bool loadable_settings(const std::vector<std::string>& lines) {
  for (size_t number = 24; number <= 26 && number <= lines.size(); ++number) {
    auto line = read_purge_line(lines[number - 1]);
    if (line.on && !line.index) return false;
  }
  return true;
}

void settings_file::load_calendar_line(const std::string& value, std::string_view dop) {
  auto rtf = data_.file(prefixed(dop, "kalendgraf.rtf"));
  std::error_code ec;
  if (value == "1" && fs::exists(rtf, ec)) {
    page_.calendar_on = true;
    page_.calendar_editor_enabled = true;
    if (dop.empty() && calendar_.load) calendar_.load(rtf);
    return;
  }
  page_.calendar_on = false;
  page_.calendar_editor_enabled = false;
  if (calendar_.clear) calendar_.clear();
}

void settings_file::load_mode_line(const std::string& value, bool master_copy) {
  if (master_copy) {
    mas_set[mas_set_entry(29) - 1] = value;
    server_.mode_caption = std::string("Режим: ") + remote_mode_caption;
    page_.SetElVisible(false);
    return;
  }
  page_.selected_mode = value == "1" || value.empty() ? operating_mode::local : operating_mode::remote;
  server_.show_mode(page_.selected_mode);
  page_.SetElVisible(page_.selected_mode == operating_mode::local);
}

void settings_file::SetSave(std::string_view dop) {
  bool master_copy = !dop.empty();
  std::vector<std::string> lines;
  lines.reserve(settings_line_count);
  for (int number = 1; number <= settings_line_count; ++number) {
    lines.push_back(save_line(number, master_copy));
  }
  const auto relative = prefixed(dop, "setting.ini");
  write_lines(data_.file(relative), lines, {.permissions = new_file_permissions(relative)});
  if (master_copy) return;
  if (page_.autostart) {
    autostart_.enable();
  } else {
    autostart_.disable();
  }
  server_.show_mode(page_.selected_mode);
}

std::string settings_file::save_line(int number, bool master_copy) {
  if (int entry = mas_set_entry(number); entry != 0 && master_copy) {
    return mas_set[static_cast<size_t>(entry - 1)];
  }
  switch (number) {
    case 1: return page_.client_version;
    case 2: return page_.main_tcp_port;
    case 3: return page_.data_http_port;
    case 4: return page_.file_server_port;
    case 5: return page_.phone;
    case 6: return page_.site;
    case 7: return page_.email;
    case 8: return page_.vk;
    case 9: return page_.http_login;
    case 10: return page_.http_password;
    case 22: return switch_text(page_.hide_at_startup);
    case 23: return switch_text(page_.purge_notes);
    case 24: return purge_text(page_.purge_news);
    case 25: return purge_text(page_.purge_menus);
    case 26: return purge_text(page_.purge_timetables);
    case 27: return switch_text(page_.autostart);
    case 28: return switch_text(page_.calendar_on);
    case 29: return switch_text(page_.selected_mode == operating_mode::local);
    case 30: return switch_text(page_.allow_remote_admin);
    case 31: return page_.admin_login;
    case 32: return page_.admin_password;
    case 33: return page_.master_address;
    default: return switch_text(page_.log.on(static_cast<log_category>(number)));
  }
}

}  // namespace velmira
