#include "ui/settings_api.hpp"

#include <string_view>

#include "core/text_codec.hpp"
#include "ui/console_routes.hpp"

namespace velmira {

using json = nlohmann::json;

namespace {

struct text_field {
  std::string_view name;
  std::string settings_page::*member;
  bool kept_apart;  // one of the twelve a master's copy keeps apart
};

const text_field text_fields[] = {
    {"client_version", &settings_page::client_version, false},
    {"main_tcp_port", &settings_page::main_tcp_port, true},
    {"data_http_port", &settings_page::data_http_port, true},
    {"file_server_port", &settings_page::file_server_port, true},
    {"phone", &settings_page::phone, false},
    {"site", &settings_page::site, false},
    {"email", &settings_page::email, false},
    {"vk", &settings_page::vk, false},
    {"http_login", &settings_page::http_login, true},
    {"http_password", &settings_page::http_password, true},
    {"admin_login", &settings_page::admin_login, true},
    {"admin_password", &settings_page::admin_password, true},
    {"master_address", &settings_page::master_address, true},
};

struct switch_field {
  std::string_view name;
  bool settings_page::*member;
  bool kept_apart;
};

const switch_field switch_fields[] = {
    {"hide_at_startup", &settings_page::hide_at_startup, true},
    {"purge_notes", &settings_page::purge_notes, false},
    {"autostart", &settings_page::autostart, true},
    {"allow_remote_admin", &settings_page::allow_remote_admin, true},
};

struct log_field {
  std::string_view name;
  log_category category;
};

const log_field log_fields[] = {
    {"log_news_changes", log_category::news_changes},     {"log_notes_changes", log_category::notes_changes},
    {"log_timetable_changes", log_category::timetable_changes}, {"log_menu_changes", log_category::menu_changes},
    {"log_bell_list", log_category::bell_list_views},      {"log_checks", log_category::info_checks},
    {"log_games", log_category::game_creation},            {"log_news_views", log_category::news_views},
    {"log_notes_views", log_category::notes_views},        {"log_timetable_views", log_category::timetable_views},
    {"log_menu_views", log_category::menu_views},
};

struct purge_field {
  std::string_view name;
  purge_selector settings_page::*member;
};

const purge_field purge_fields[] = {
    {"purge_news", &settings_page::purge_news},
    {"purge_menus", &settings_page::purge_menus},
    {"purge_timetables", &settings_page::purge_timetables},
};

bool shown(const settings_page& page, bool kept_apart) { return page.local_only_visible || !kept_apart; }

void apply_purge(purge_selector& purge, const json& fields, const std::string& name) {
  if (auto on = fields.find(name); on != fields.end()) {
    if (on->get<bool>() && !purge.on) purge.tick();
    if (!on->get<bool>()) purge.untick();
  }
  if (auto age = fields.find(name + "_age"); age != fields.end() && purge.on) purge.select(age->get<int>());
}

}  // namespace

json settings_json(const settings_page& page) {
  json fields = json::object();
  for (const auto& f : text_fields) {
    if (shown(page, f.kept_apart)) fields[std::string(f.name)] = to_utf8(page.*f.member);
  }
  for (const auto& f : switch_fields) {
    if (shown(page, f.kept_apart)) fields[std::string(f.name)] = page.*f.member;
  }
  for (const auto& f : log_fields) fields[std::string(f.name)] = page.log.on(f.category);
  for (const auto& f : purge_fields) {
    const auto& purge = page.*f.member;
    fields[std::string(f.name)] = purge.on;
    fields[std::string(f.name) + "_age"] = purge.age_index;
    fields[std::string(f.name) + "_unit"] = purge.unit_label;
    fields[std::string(f.name) + "_ages"] = purge.list_size;
    fields[std::string(f.name) + "_list_enabled"] = purge.list_enabled;
  }
  fields["calendar_on"] = page.calendar_on;
  fields["calendar_editor_enabled"] = page.calendar_editor_enabled;
  // The mode stays the operator's to choose while a master's copy is shown:
  // choosing "local" there is how a copy goes back to local mode.
  fields["mode"] = page.selected_mode == operating_mode::local ? "local" : "remote";
  fields["local_only_visible"] = page.local_only_visible;
  return fields;
}

void apply_settings(settings_page& page, const json& fields) {
  for (const auto& f : text_fields) {
    if (fields.contains(f.name) && shown(page, f.kept_apart)) page.*f.member = from_utf8(fields[f.name].get<std::string>());
  }
  for (const auto& f : switch_fields) {
    if (fields.contains(f.name) && shown(page, f.kept_apart)) page.*f.member = fields[f.name].get<bool>();
  }
  for (const auto& f : log_fields) {
    if (fields.contains(f.name)) page.log.set(f.category, fields[f.name].get<bool>());
  }
  for (const auto& f : purge_fields) apply_purge(page.*f.member, fields, std::string(f.name));
  if (fields.contains("calendar_on")) {
    page.calendar_on = fields["calendar_on"].get<bool>();
    page.calendar_editor_enabled = page.calendar_on;
  }
  if (fields.contains("mode")) {
    auto mode = fields["mode"].get<std::string>();
    if (mode != "local" && mode != "remote") throw json::other_error::create(501, "mode is local or remote", nullptr);
    page.selected_mode = mode == "local" ? operating_mode::local : operating_mode::remote;
  }
}

console_routes settings_routes() {
  auto state = [](operator_desk& desk) { return settings_json(desk.state.settings); };
  auto tag = [state](operator_desk& desk) { return tag_of_state(state(desk)); };
  console_routes routes;
  routes.pages["/api/settings"] = {state, tag};
  // The controls take the given values first, then the button runs.
  routes.actions["/api/settings/save"] = writing(console_action{"/api/settings", [](operator_desk& desk, const json& body) {
                                            apply_settings(desk.state.settings, body);
                                            return operator_outcome{desk.BitBtn13Click(), std::nullopt};
                                          }});
  // Ours: a control of the settings page takes its value at once, as a
  // control of the window would (the log switches count before a save).
  routes.actions["/api/settings/change"] = {"/api/settings", [](operator_desk& desk, const json& body) {
                                              apply_settings(desk.state.settings, body);
                                              return operator_outcome{};
                                            }};
  return routes;
}

}  // namespace velmira
