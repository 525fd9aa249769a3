#include "integration/server_fixture.hpp"

#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira::testing {

std::string user_line(const std::vector<std::string>& c) {
  // The file keeps the full name first and the active flag second.
  std::string line = c.at(1) + "$" + c.at(0) + "$";
  for (size_t i = 2; i < 9; ++i) line += c.at(i) + "$";
  return line;
}

std::vector<std::string> running_server::settings_lines(std::uint16_t tcp, std::uint16_t http) {
  return {"2.0.4", std::to_string(tcp), std::to_string(http), "7003", "+7 000 000-00-00", "school.example",
          "mail@school.example", "vk.example/school", "web", "secret",
          // log switches 11-21
          "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1",
          "0", "0", "0;-1;", "0;-1;", "0;-1;", "0", "0", "1", "0", "", "", ""};
}

running_server::running_server(const std::string& users_ini_utf8, const settings_edit& edit,
                               const data_seed& seed)
    : clock_(make_local(2024, 9, 5, 10, 0, 0)), tcp_port_(free_port()), http_port_(free_port()) {
  auto lines = settings_lines(tcp_port_, http_port_);
  if (edit) edit(lines);
  dir_.write("setting.ini", join_lines(lines));
  if (!users_ini_utf8.empty()) dir_.write("users.ini", from_utf8(users_ini_utf8));
  if (seed) seed(dir_);
  server_state_options options;
  options.data_dir = dir_.path();
  options.executable = dir_.path() / "velmira";
  options.autostart_folder = dir_.path() / "autostart";
  options.organisation_utf8 = "Школа";
  options.clock = &clock_;
  options.threads = 2;
  server_ = std::make_unique<Server>(std::move(options));
  server_->FormCreate();
}

running_server::~running_server() { server_->shutdown(); }

bool running_server::settings_flag(bool settings_page::*flag) {
  return call([flag](operator_desk& desk) { return desk.state.settings.*flag; });
}

action_result running_server::act(const std::string& path, const nlohmann::json& body, const std::string& if_match) {
  const auto& action = routes_.actions.at(path);
  return call([&](operator_desk& desk) { return run_action(routes_, action, desk, body, if_match); });
}

nlohmann::json running_server::page(const std::string& path) {
  const auto& page = routes_.pages.at(path);
  return call([&](operator_desk& desk) { return show_page(page, desk).state; });
}

std::vector<std::string> running_server::queued_messages() {
  return call([](operator_desk& desk) { return desk.queued_messages(); });
}

bool running_server::busy() {
  return call([](operator_desk& desk) { return desk.busy(); });
}

}  // namespace velmira::testing
