#include "core/listeners.hpp"

#include "core/fields.hpp"
#include "core/http_listener.hpp"
#include "core/tcp_listener.hpp"

namespace velmira {

server_listeners::server_listeners(tcp_listener& tcp, http_listener& http, const settings_page& settings,
                                   server_page& page, event_log& log, listener_hooks hooks)
    : tcp_(tcp), http_(http), settings_(settings), page_(page), log_(log), hooks_(std::move(hooks)) {}

namespace {
bool in_port_range(int port) { return port >= 1 && port <= 65535; }
}  // namespace

std::optional<std::string> server_listeners::ServerStart() {
  int file_server_port = chislo(settings_.file_server_port);
  int tcp_port = chislo(settings_.main_tcp_port);
  int http_port = chislo(settings_.data_http_port);
  if (file_server_port == 0 || tcp_port == 0 || http_port == 0 || settings_.http_login.empty() ||
      settings_.http_password.empty() || page_.addresses.empty()) {
    log_.append_event("не заполнены ВСЕ поля раздаела Порт в Настройках или вы не подключены к компьютерной сети");
    return std::nullopt;
  }
  tcp_.stop();
  http_.stop();
  if (!in_port_range(tcp_port) || !in_port_range(http_port)) {
    return "Порт должен быть числом от 1 до 65535";
  }
  if (hooks_.clear_publication_values) hooks_.clear_publication_values();

  bool tcp_ok = !tcp_.start(static_cast<std::uint16_t>(tcp_port));
  log_.append_event(tcp_ok ? "запуск TCP сервера ..." : "ошибка при попытке запустить TCP сервер");
  bool http_ok = !http_.start(static_cast<std::uint16_t>(http_port));
  log_.append_event(http_ok ? "запуск HTTP сервера ..." : "ошибка при попытке запустить HTTP сервер");

  if (!tcp_ok || !http_ok) {
    if (hooks_.stop_housekeeping) hooks_.stop_housekeeping();
    cl_ = 1;
    tcp_.stop();
    http_.stop();
    show_running(false);
    return std::nullopt;
  }
  cl_ = 0;
  show_running(true);
  if (hooks_.start_housekeeping) hooks_.start_housekeeping();
  return std::nullopt;
}

void server_listeners::ServerStop() {
  if (hooks_.stop_housekeeping) hooks_.stop_housekeeping();
  cl_ = 1;
  tcp_.stop();
  log_.append_event("TCP сервер остановлен");
  http_.stop();
  log_.append_event("HTTP сервер остановлен");
  show_running(false);
}

void server_listeners::show_running(bool running) {
  page_.running_state = running ? '1' : '0';
  page_.game_counter_visible = running;
}

}  // namespace velmira
