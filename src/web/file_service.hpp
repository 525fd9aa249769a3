#pragma once
// The HTTP file service: every request of the data HTTP port is answered
// here with a file of the data directory, byte for byte, or with the
// listener's default reply.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/http_listener.hpp"
#include "core/settings_page.hpp"
#include "users/user_table.hpp"

namespace velmira {

// What the service needs of the settings, taken whole at one moment so that
// a request never sees a login of one save and a password of the next.
// All texts Windows-1251.
struct web_settings {
  std::string http_login;             // setting line 9
  std::string http_password;          // setting line 10
  bool remote_admin_allowed = false;  // line 30, "Разрешить удаленное управление"
  std::string admin_login;            // line 31
  std::string admin_password;         // line 32
};

// The local values the page holds; while it shows a master's copy those
// lines stay local, so this is right in either mode. Call under the
// operator lock, like every read of the page.
web_settings web_settings_from(const settings_page& page);

// IdHTTPServer1CommandGet as an http_handler.
//
// Thread-safety: handle() runs on the listener's threads concurrently and
// takes no lock but the event log's; publish() may run on any thread at the
// same time. The data directory, user table and log are borrowed and must
// outlive the service. Until the first publish() no credentials match, so
// every request gets the default reply.
class file_service final : public http_handler {
 public:
  file_service(const data_directory& data, const user_table& users, event_log& log);

  // Requests already running finish with the settings they started with.
  void publish(web_settings settings);

  http_reply handle(const http_request& request) override { return IdHTTPServer1CommandGet(request); }
  http_reply IdHTTPServer1CommandGet(const http_request& request) const;

 private:
  struct chosen_file;

  std::optional<chosen_file> choose_file(std::string s, const web_settings& settings) const;
  std::optional<chosen_file> user_checked_info(std::string_view s) const;
  std::optional<chosen_file> plain_file(const std::string& s) const;
  std::optional<chosen_file> resolve(const std::string& folder, const std::string& name,
                                     const std::string& ext) const;
  void log_view(const std::string& folder, const std::string& name, const std::string& ext) const;

  const data_directory& data_;
  const user_table& users_;
  event_log& log_;
  std::atomic<std::shared_ptr<const web_settings>> settings_;
};

}  // namespace velmira
