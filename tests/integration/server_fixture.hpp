#pragma once
// A real server in a temporary data directory on free loopback ports, with
// a clock the test sets.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/clock.hpp"
#include "support/line_client.hpp"
#include "support/temp_dir.hpp"
#include "server/server.hpp"
#include "ui/console_routes.hpp"

namespace velmira::testing {

// One users.ini line from UTF-8 values in memory order (columns 0 to 8).
std::string user_line(const std::vector<std::string>& columns_utf8);

class running_server {
 public:
  using settings_edit = std::function<void(std::vector<std::string>& lines)>;
  using data_seed = std::function<void(const temp_dir& data)>;

  // `users_ini` is the users file as UTF-8 text (converted when written);
  // `seed` writes further data files before the server starts.
  explicit running_server(const std::string& users_ini_utf8 = "", const settings_edit& edit = {},
                          const data_seed& seed = {});
  ~running_server();

  Server& server() { return *server_; }
  std::uint16_t tcp_port() const { return tcp_port_; }
  std::uint16_t http_port() const { return http_port_; }
  const temp_dir& dir() const { return dir_; }
  manual_clock& clock() { return clock_; }
  std::unique_ptr<line_client> connect() const { return std::make_unique<line_client>(tcp_port_); }
  std::vector<std::string> log_lines() { return server_->log().lines(); }
  server_page page() {
    return server_->call([](operator_desk& desk) { return desk.state.page; });
  }
  // One switch of the settings page, read where the page lives.
  bool settings_flag(bool settings_page::*flag);

  // `work(operator_desk&)` on the operator's thread, waited for.
  template <class F>
  std::invoke_result_t<F&, operator_desk&> call(F work) {
    return server_->call(std::move(work));
  }
  // A console action or page by its path, as the console runs it but
  // without HTTP; text is UTF-8.
  action_result act(const std::string& path, const nlohmann::json& body = nlohmann::json::object(),
                    const std::string& if_match = "");
  nlohmann::json page(const std::string& path);
  std::vector<std::string> queued_messages();
  // The settings page's controls, changed or read where the page lives.
  template <class F>
  void edit_settings(F edit) {
    call([&](operator_desk& desk) { edit(desk.state.settings); });
  }
  template <class F>
  void read_settings(F read) {
    call([&](operator_desk& desk) { read(std::as_const(desk.state.settings)); });
  }
  bool busy();

  // The factory-like settings the fixture writes, ports included.
  static std::vector<std::string> settings_lines(std::uint16_t tcp, std::uint16_t http);

 private:
  temp_dir dir_;
  manual_clock clock_;
  std::uint16_t tcp_port_;
  std::uint16_t http_port_;
  std::unique_ptr<Server> server_;
  console_routes routes_ = page_routes();
};

}  // namespace velmira::testing
