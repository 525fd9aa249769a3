// The "Сервер" page: the state of the server and its buttons, the event
// log, the backup download.
#include <ctime>

#include "maintenance/backup_archive.hpp"
#include "ui/console_routes.hpp"

namespace velmira {

using json = nlohmann::json;

namespace {

json server_json(operator_desk& desk) {
  const auto& page = desk.state.page;
  json pull = nullptr;
  if (page.pull_progress) pull = {{"step", page.pull_progress->step}, {"of", page.pull_progress->of}};
  return {
      {"title", desk.state.title},
      {"mode", page.shows_local_mode() ? "local" : "remote"},
      {"mode_caption", page.mode_caption},
      {"running", page.running_state == '1'},
      {"addresses", page.addresses},
      {"game_counter", page.game_counter_visible ? json(page.game_counter_text) : json(nullptr)},
      {"busy", desk.busy()},
      {"messages", desk.queued_messages()},
      {"pull", pull},
  };
}

// What the page's actions refer to: the mode and whether the listeners
// run; the counters and the queue change by themselves.
std::string server_tag(operator_desk& desk) {
  const auto& page = desk.state.page;
  return page_tag().add(page.shows_local_mode() ? "local" : "remote").add(std::string(1, page.running_state)).text();
}

// "velmira-backup-20240901-073000.tar.gz", in the machine's local time as
// the operator reads the clock.
std::string backup_file_name(std::time_t now) {
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "velmira-backup-%Y%m%d-%H%M%S.tar.gz", &local);
  return text;
}

console_action server_action(std::function<operator_outcome(operator_desk&, const json&)> run,
                             bool refused_while_busy = true) {
  return {"/api/server", std::move(run), refused_while_busy};
}

operator_outcome showing_if(const std::optional<std::string>& message) {
  return message ? operator_outcome::showing(*message) : operator_outcome{};
}

}  // namespace

console_routes server_routes() {
  console_routes routes;
  routes.pages["/api/server"] = {server_json, server_tag};
  routes.pages["/api/log"] = {[](operator_desk& desk) { return json{{"lines", desk.state.log.lines()}}; },
                              [](operator_desk&) { return page_tag().text(); }};
  routes.actions["/api/page"] = server_action(
      [](operator_desk& desk, const json& body) {
        auto page = body.at("page").get<std::string>();
        if (page != "server" && page != "bells" && page != "users" && page != "settings") bad_request("unknown page");
        desk.show_page(page);
        return operator_outcome{};
      },
      false);
  routes.actions["/api/server/start_stop"] =
      server_action([](operator_desk& desk, const json&) { return showing_if(desk.BitBtn1Click()); });
  routes.actions["/api/server/clear_log"] = server_action(
      [](operator_desk& desk, const json&) {
        desk.state.log.clear();
        return operator_outcome{};
      },
      false);
  routes.actions["/api/server/request_data"] = server_action([](operator_desk& desk, const json&) {
    desk.BitBtn2Click();
    return operator_outcome{};
  });
  routes.actions["/api/server/ack"] = server_action(
      [](operator_desk& desk, const json& body) {
        desk.acknowledge_messages(body.at("count").get<std::size_t>());
        return operator_outcome{};
      },
      false);
  routes.raw["GET /api/backup.tar.gz"] = [](operator_desk& desk, const http_request&) {
    return http_reply{200,
                      "application/gzip",
                      desk.backup_archive(),
                      {{"Content-Disposition", "attachment; filename=\"" + backup_file_name(std::time(nullptr)) + "\""},
                       {"Cache-Control", "no-store"}}};
  };
  return routes;
}

}  // namespace velmira
