#include "server/server_state.hpp"

#include "core/text_codec.hpp"

namespace velmira {

namespace {

std::vector<std::string> autostart_arguments(const server_state_options& o) {
  std::vector<std::string> args = {"--data-dir", o.data_dir.string()};
  if (!o.organisation_utf8.empty()) {
    args.push_back("--organisation");
    args.push_back(o.organisation_utf8);
  }
  return args;
}

}  // namespace

server_state::server_state(const server_state_options& options, const clock_source& clock,
                           bell_editor::bell_push bell_push)
    : clock(clock),
      organisation(from_utf8(options.organisation_utf8)),
      title(std::string(cap) + " - " + options.organisation_utf8),
      log(clock, settings.log, options.log_echo),
      data(options.data_dir),
      autostart(options.data_dir, options.executable, options.autostart_folder, autostart_arguments(options)),
      calendar(data, settings),
      settings_file(data, settings, page, autostart,
                    calendar_editor_hooks{[this](const fs::path& rtf) { calendar.load(rtf); },
                                          [this] { calendar.clear(); }}),
      users_file(data, users),
      bells(data),
      bell_page(bells, clock,
                [this] { return page.shows_local_mode() ? operating_mode::local : operating_mode::remote; },
                std::move(bell_push)),
      rooms(data) {}

void server_state::load_settings() {
  settings_file.SetLoad("");
  publish_access();
}

void server_state::publish_access() { access.publish(access_settings_from(settings)); }

void server_state::publish_greeting(const std::string& calendar_off_flag) {
  hello.publish(build_greeting(settings, organisation, calendar_off_flag));
}

void server_state::load_bell_list(std::string_view dop) {
  for (const auto& message : bell_page.LoadSpisokLocal(dop).messages) log.append_event(message);
}

void server_state::load_local_subsystems() {
  load_bell_list("zvonok");
  rooms.KabLoad("raspisanie\\");
  users_page.LoadUser("");
}

admin_reloads server_state::reloads() {
  return {
      [this] { load_settings(); },
      [this] { users_page.LoadUser(""); },
      [this] { rooms.KabLoad("raspisanie\\"); },
      [this] { load_bell_list("zvonok"); },
      [this] {
        calendar.load(data.file("kalendgraf.rtf"));
        calendar.KalendarGrafSave("");
      },
  };
}

protocol_dependencies server_state::protocol(dispatcher::operator_post to_operator) {
  return {data, users, hello, access, log, clock, reloads(), std::move(to_operator)};
}

}  // namespace velmira
