#pragma once
// The HTTP file service: every request of the data HTTP port is answered
// here with a file of the data directory, byte for byte, or with the
// listener's default reply.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/http_listener.hpp"
#include "core/access_settings.hpp"
#include "core/published.hpp"
#include "users/user_table.hpp"
#include "web/bounded_memo.hpp"
#include "web/file_cache.hpp"

namespace velmira {

// IdHTTPServer1CommandGet as an http_handler.
//
// Thread-safety: handle() and serve() run on the listener's threads
// concurrently and take no lock but the event log's and those its caches
// hold for one lookup. The data directory, user table, access settings and
// log are borrowed and must outlive the service; requests already running
// finish with the access settings they started with. While no HTTP login is
// set no credentials match, so every request gets the default reply.
//
// Files are served from a file_cache, checked against the disk on every
// request; `now` is the clock it judges file times by. A file reached
// through a symbolic link is refused like a path that leaves the data
// directory. A connection's credentials are checked on its first request
// and again only when its Authorization header or the published settings
// change.
class file_service final : public immediate_http_handler {
 public:
  // Distinct request paths whose routes are kept; far more than a school
  // publishes files.
  static constexpr std::size_t max_known_routes = 4096;
  // Request paths the plain form never serves: the users' passwords and the
  // server's settings. Only the remote administrator's form reaches them.
  static constexpr std::array<std::string_view, 2> refused_names = {"users.ini", "setting.ini"};
  // The operator console's key and the running server's lock: served to
  // nobody, the remote administrator included.
  static constexpr std::array<std::string_view, 2> server_own_files = {operator_key_file_name, lock_file_name};

  file_service(const data_directory& data, const user_table& users, const published<access_settings>& access,
               event_log& log, file_cache::clock now = std::chrono::system_clock::now);

  // A file's bytes come as the shared_body of serve(), and copied into the
  // body by handle().
  http_reply handle(const http_request& request) override;
  http_reply serve(const http_request& request) override { return IdHTTPServer1CommandGet(request); }
  http_reply IdHTTPServer1CommandGet(const http_request& request) const;

 private:
  struct logged_view;
  struct route;
  struct credentials_memo;

  bool credentials_accepted(const http_request& request, const std::shared_ptr<const access_settings>& settings) const;
  std::shared_ptr<const route> choose_file(std::string s, const access_settings& settings) const;
  std::shared_ptr<const route> known_route(const std::string& s) const;
  std::shared_ptr<const route> user_checked_info(std::string_view s) const;
  std::shared_ptr<const route> plain_route(const std::string& s) const;
  std::shared_ptr<route> resolve(const std::string& folder, const std::string& name, const std::string& ext) const;
  std::shared_ptr<const std::string> read_route(const route& chosen, std::error_code& error) const;
  static std::optional<logged_view> view_of(const std::string& folder, const std::string& name,
                                            const std::string& ext);

  const data_directory& data_;
  const user_table& users_;
  const published<access_settings>& access_;
  event_log& log_;
  mutable file_cache cache_;
  // Where each plain request path leads, keyed by the path.
  mutable bounded_memo<route> routes_{max_known_routes};
};

}  // namespace velmira
