#include "web/file_service.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

#include "core/fields.hpp"
#include "core/text_codec.hpp"
#include "web/basic_credentials.hpp"
#include "web/request_path.hpp"

namespace velmira {

// A line a request logs as a view while its switch is on.
struct file_service::logged_view {
  log_category category;
  std::string line_utf8;
};

struct file_service::route {
  fs::path file;
  std::optional<fs::path> fallback;  // the folder's error.ini
  std::optional<logged_view> view;
};

// The verdict on a connection's Authorization header under one settings
// snapshot. The snapshot is held, not just its address: a newer one could
// otherwise be allocated where it was and inherit its verdict.
struct file_service::credentials_memo final : http_connection_memo {
  std::shared_ptr<const access_settings> settings;
  std::string authorization;
  bool accepted = false;
};

namespace {

constexpr std::string_view file_content_type = "text/html; charset=windows-1251";

// Settings never loaded have no login, and an empty pair opens nothing.
bool carries_http_credentials(std::string_view authorization, const access_settings& settings) {
  auto credentials = parse_basic_authorization(authorization);
  return !settings.http_login.empty() && credentials && credentials->user == settings.http_login &&
         credentials->password == settings.http_password;
}

// Takes "^login;password^" off the front of `s` and tells whether they are
// the remote administrator's.
bool take_remote_administrator(std::string& s, const access_settings& settings) {
  std::string_view rest(s);
  rest.remove_prefix(1);
  std::string_view credentials = cut_field(rest, '^');
  std::string_view login = cut_field(credentials, ';');
  std::string_view password = credentials;
  bool accepted = !admin_credentials_refusal(settings, login, password);
  s = std::string(rest);
  return accepted;
}

bool refused_name(const std::string& s) {
  return std::ranges::find(file_service::refused_names, s) != file_service::refused_names.end();
}

// The extension begins at the "." fourth or else fifth from the end: ".ini"
// and ".ini2" are the only extensions served.
std::optional<size_t> extension_start(const std::string& s) {
  if (s.size() >= 4 && s[s.size() - 4] == '.') return s.size() - 4;
  if (s.size() >= 5 && s[s.size() - 5] == '.') return s.size() - 5;
  return std::nullopt;
}

// Clients may ask for a date with a four-digit year; files carry two digits.
// Only character positions are looked at, so "05.09.24/1" becomes
// "05.09./1" (and finds no file) while "05.09.24/10" stays.
std::string shorten_year(const std::string& name) {
  size_t n = name.size();
  if (n < 5 || name[n - 5] != '.' || name[n - 3] == '.') return name;
  return name.substr(0, n - 4) + name.substr(n - 2);
}

// The request path is not echoed: it is the client's text, and this reply
// must not carry it back to a browser.
http_reply internal_error(const std::error_code& error) {
  return {500, "text/plain; charset=utf-8", "Cannot open the requested file: " + error.message(), {}};
}

http_reply with_no_cache(http_reply reply) {
  reply.headers.emplace_back("Cache-Control", "no-cache");
  return reply;
}

}  // namespace

file_service::file_service(const data_directory& data, const user_table& users,
                           const published<access_settings>& access, event_log& log, file_cache::clock now)
    : data_(data), users_(users), access_(access), log_(log), cache_(data.root(), std::move(now)) {}

http_reply file_service::IdHTTPServer1CommandGet(const http_request& request) const {
  auto settings = access_.get();
  if (!credentials_accepted(request, settings)) return default_http_reply();
  std::string s = decode_request_path(request.target);
  if (!s.empty()) s.erase(0, 1);
  auto chosen = choose_file(std::move(s), *settings);
  if (!chosen) return with_no_cache(default_http_reply());

  std::error_code error;
  auto bytes = read_route(*chosen, error);
  if (!bytes && error == file_cache::refused) return with_no_cache(default_http_reply());
  if (chosen->view) log_.append_event(chosen->view->category, chosen->view->line_utf8);
  if (!bytes) return with_no_cache(internal_error(error));
  return with_no_cache({200, std::string(file_content_type), "", {}, std::move(bytes)});
}

// A file that is there but refused (a link) gets no fallback: it is no
// missing timetable, and its folder's error.ini would hide the refusal.
std::shared_ptr<const std::string> file_service::read_route(const route& chosen, std::error_code& error) const {
  auto bytes = cache_.read(chosen.file, error);
  if (!bytes && chosen.fallback && error != file_cache::refused) bytes = cache_.read(*chosen.fallback, error);
  return bytes;
}

http_reply file_service::handle(const http_request& request) {
  auto reply = serve(request);
  if (reply.shared_body) reply.body = *std::exchange(reply.shared_body, nullptr);
  return reply;
}

// Decoding and comparing the header is left to the first request of a
// connection and to the first after each new access snapshot.
bool file_service::credentials_accepted(const http_request& request,
                                        const std::shared_ptr<const access_settings>& settings) const {
  if (!request.memo) return carries_http_credentials(request.authorization, *settings);
  auto* memo = dynamic_cast<credentials_memo*>(request.memo->get());
  if (!memo) {
    memo = new credentials_memo;
    request.memo->reset(memo);
  }
  if (memo->settings != settings || memo->authorization != request.authorization) {
    memo->settings = settings;
    memo->authorization = request.authorization;
    memo->accepted = carries_http_credentials(request.authorization, *settings);
  }
  return memo->accepted;
}

std::shared_ptr<const file_service::route> file_service::choose_file(std::string s,
                                                                     const access_settings& settings) const {
  if (s.starts_with('^')) {
    if (!take_remote_administrator(s, settings)) return nullptr;
  } else if (refused_name(s)) {
    return nullptr;
  }
  if (std::ranges::find(server_own_files, s) != server_own_files.end()) return nullptr;
  if (s.find("/raspisanie/info.ini") != std::string::npos) return user_checked_info(s);
  return known_route(s);
}

// Converting and checking a path costs more than serving a kept file, and
// the answer for a path depends on nothing else, so it is worked out once.
std::shared_ptr<const file_service::route> file_service::known_route(const std::string& s) const {
  if (auto known = routes_.find(s)) return known;
  auto found = s == "kalendgraf.rtf" ? resolve("", "kalendgraf", ".rtf") : plain_route(s);
  if (found) routes_.insert(s, found);
  return found;
}

// The summary of new publications goes only to a known user, named in the
// path as "login&password&role code&" after one leading character.
std::shared_ptr<const file_service::route> file_service::user_checked_info(std::string_view s) const {
  s.remove_prefix(1);
  auto login = cut_field(s, '&');
  auto password = cut_field(s, '&');
  auto role_code = cut_field(s, '&');
  if (!users_.find(login, password, role_code)) return nullptr;
  auto found = resolve("raspisanie/", "info", ".ini");
  log_.append_event(log_category::info_checks, to_utf8(login) + " " + to_utf8(role_code) + " просмотр новой информации");
  return found;
}

// "folder/name.ini" or "folder/name.ini2"; the folder is the first path
// segment only, so "a/b/c.ini" is name "b/c" in folder "a/".
std::shared_ptr<const file_service::route> file_service::plain_route(const std::string& s) const {
  auto dot = extension_start(s);
  std::string ext = dot ? s.substr(*dot) : s;
  if (ext != ".ini" && ext != ".ini2") return nullptr;
  auto slash = s.find('/');
  size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  std::string folder = s.substr(0, name_start);
  std::string name = shorten_year(s.substr(name_start, *dot - name_start));
  auto found = resolve(folder, name, ext);
  // A path refused as leaving the data directory is not a view.
  if (found) found->view = view_of(folder, name, ext);
  return found;
}

// Nothing when the path would leave the data directory or cannot name a
// file there ("..", an absolute path, NUL or control characters).
std::shared_ptr<file_service::route> file_service::resolve(const std::string& folder, const std::string& name,
                                                           const std::string& ext) const {
  auto file = data_.checked_file(folder + name + ext);
  if (!file) return nullptr;
  return std::make_shared<route>(route{std::move(*file), data_.checked_file(folder + "error.ini"), std::nullopt});
}

std::optional<file_service::logged_view> file_service::view_of(const std::string& folder, const std::string& name,
                                                               const std::string& ext) {
  const std::string file_name = name + ext;
  if (file_name == "error.ini") return std::nullopt;
  const std::string path = folder + file_name;
  if (path == "news/data.ini") return logged_view{log_category::news_views, "просмотр новостей"};
  if (path == "zametki/data.ini") return logged_view{log_category::notes_views, "просмотр заметок"};
  if (folder == "raspisanie/" && file_name != "kab.ini") {
    return logged_view{log_category::timetable_views, "просмотр расписания на " + to_utf8(name)};
  }
  if (folder == "menu/") return logged_view{log_category::menu_views, "просмотр меню на " + to_utf8(name)};
  if (path == "zvonok/spisok.ini") return logged_view{log_category::bell_list_views, "просмотр списка звонков"};
  return std::nullopt;
}

}  // namespace velmira
