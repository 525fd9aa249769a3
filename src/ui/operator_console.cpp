#include "ui/operator_console.hpp"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>

#include "core/operator_error.hpp"
#include "server/server.hpp"
#include "ui/bells_api.hpp"
#include "ui/console_access.hpp"
#include "ui/content_api.hpp"
#include "ui/page_assets.hpp"
#include "ui/settings_api.hpp"
#include "ui/users_api.hpp"

namespace velmira {

using json = nlohmann::json;

namespace {

constexpr const char* json_type = "application/json; charset=utf-8";
constexpr const char* close_question = "Закрыть приложение?";
// Long enough for the reply to the close question to leave first.
constexpr std::chrono::milliseconds exit_delay{200};

http_reply json_reply(unsigned status, const json& body, std::vector<std::pair<std::string, std::string>> headers = {}) {
  headers.emplace_back("Cache-Control", "no-store");
  return {status, json_type, body.dump(), std::move(headers)};
}

http_reply error_reply(unsigned status, const std::string& text) { return json_reply(status, {{"error", text}}); }

std::string path_of(const std::string& target) { return target.substr(0, target.find('?')); }

json body_of(const http_request& request) {
  if (request.body.empty()) return json::object();
  auto body = json::parse(request.body);
  if (!body.is_object()) throw json::type_error::create(302, "the body must be a JSON object", nullptr);
  return body;
}

json server_state_json(Server& server) {
  auto page = server.page_state();
  json pull = nullptr;
  if (page.pull_progress) pull = {{"step", page.pull_progress->step}, {"of", page.pull_progress->of}};
  return {
      {"title", server.title()},
      {"mode", page.shows_local_mode() ? "local" : "remote"},
      {"mode_caption", page.mode_caption},
      {"running", page.running_state == '1'},
      {"addresses", page.addresses},
      {"game_counter", page.game_counter_visible ? json(page.game_counter_text) : json(nullptr)},
      {"busy", server.busy()},
      {"messages", server.queued_messages()},
      {"pull", pull},
  };
}

json settings_state_json(Server& server) {
  json fields;
  server.read_settings([&](const settings_page& page) { fields = settings_json(page); });
  return fields;
}

// The reply of an action: the messages it showed, its question, and the
// state of its page after it.
http_reply action_reply(const operator_outcome& outcome, const json& page) {
  json question = nullptr;
  if (outcome.question) question = {{"caption", question_caption}, {"text", *outcome.question}};
  return json_reply(200, {{"messages", outcome.messages}, {"question", question}, {"page", page}});
}

operator_answer answer_of(const json& body) {
  auto answer = body.value("answer", "");
  if (answer.empty()) return operator_answer::none;
  if (answer == "yes") return operator_answer::yes;
  if (answer == "no") return operator_answer::no;
  throw json::other_error::create(501, "answer is yes or no", nullptr);
}

// The page may run only its own script and never be framed by another site.
std::vector<std::pair<std::string, std::string>> page_headers() {
  // Inline style attributes are how the rich text editor aligns a paragraph;
  // the stylesheet draws check marks and arrows as data: images.
  return {{"Content-Security-Policy",
           "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data:; "
           "frame-ancestors 'none'; base-uri 'none'; "
           "form-action 'self'"},
          {"X-Content-Type-Options", "nosniff"},
          {"Cache-Control", "no-cache"}};
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

console_request_facts facts_of(const http_request& request, const std::string& path) {
  return {request.method, path, request.host, request.authorization, request.cookie, request.x_velmira, request.peer};
}

}  // namespace

std::optional<console_address> parse_console_address(const std::string& text) {
  auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  std::string address = text.substr(0, colon);
  if (address.front() == '[') {
    if (address.back() != ']') return std::nullopt;
    address = address.substr(1, address.size() - 2);
  }
  boost::system::error_code ec;
  auto parsed = boost::asio::ip::make_address(address, ec);
  if (ec || (parsed.is_v6() && text.front() != '[')) return std::nullopt;
  auto port_text = text.substr(colon + 1);
  if (port_text.empty() || port_text.size() > 5 || port_text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  auto port = std::stoi(port_text);
  if (port > 65535) return std::nullopt;
  return console_address{address, static_cast<std::uint16_t>(port)};
}

operator_console::operator_console(Server& server, std::string key, std::function<void()> request_exit)
    : server_(server),
      key_(std::move(key)),
      request_exit_(std::move(request_exit)),
      listener_(server.context(), *this, server.log(), {.max_body = limits::max_console_body}) {
  add_routes();
}

operator_console::~operator_console() { listener_.stop(); }

std::error_code operator_console::start(const std::string& address, std::uint16_t port) {
  if (auto ec = listener_.start(address, port)) return ec;
  address_ = address;
  access_ = std::make_unique<console_access>(console_access_options{key_, address, listener_.local_port()});
  return {};
}

http_reply operator_console::handle(const http_request& request) {
  const auto path = path_of(request.target);
  try {
    return route(request, path);
  } catch (const operator_busy&) {
    return error_reply(409, "busy");
  } catch (const json::exception& e) {
    return error_reply(400, e.what());
  } catch (const std::exception& e) {
    return error_reply(500, e.what());
  }
}

http_reply operator_console::route(const http_request& request, const std::string& path) {
  const bool post = request.method == "POST";
  if (!post && !path.starts_with("/api/")) return page_asset_reply(path, request.host);
  if (post && path == "/api/login") {
    if (!host_names_console(request.host, address_, port())) return error_reply(421, "misdirected request");
    auto outcome = access_->log_in(body_of(request).value("key", ""), request.peer);
    if (outcome.result == login_outcome::throttled) return error_reply(429, "too many failed log-ins");
    if (outcome.result == login_outcome::wrong_key) return error_reply(401, "wrong key");
    return json_reply(200, json::object(), {{"Set-Cookie", console_access::session_cookie(outcome.token)}});
  }
  switch (access_->check(facts_of(request, path))) {
    case access_verdict::misdirected:
      return error_reply(421, "misdirected request");
    case access_verdict::unauthorised:
      return error_reply(401, "the operator key is needed");
    case access_verdict::forbidden:
      return error_reply(403, "X-Velmira: 1 is needed");
    case access_verdict::throttled:
      return error_reply(429, "too many wrong keys");
    case access_verdict::allowed:
      break;
  }
  if (auto raw = raw_routes_.find(request.method + " " + path); raw != raw_routes_.end()) return raw->second(request);
  if (!post) {
    if (request.method != "GET" && request.method != "HEAD") return error_reply(405, "method not allowed");
    auto get = gets_.find(path);
    return get == gets_.end() ? error_reply(404, "not found") : json_reply(200, get->second());
  }
  auto action = posts_.find(path);
  if (action == posts_.end()) return error_reply(404, "not found");
  auto body = body_of(request);
  if (path == "/api/logout") access_->log_out(request.cookie);
  return action->second(body);
}

http_reply operator_console::page_asset_reply(const std::string& path, const std::string& host) const {
  if (!host_names_console(host, address_, port())) return error_reply(421, "misdirected request");
  auto asset = find_page_asset(path);
  if (!asset) return error_reply(404, "not found");
  return {200, std::string(asset->content_type), std::string(asset->bytes), page_headers()};
}

void operator_console::add_routes() {
  gets_["/api/server"] = [this] { return server_state_json(server_); };
  gets_["/api/log"] = [this] { return json{{"lines", server_.log().lines()}}; };
  gets_["/api/settings"] = [this] { return settings_state_json(server_); };
  gets_["/api/calendar"] = [this] { return calendar_json(server_.calendar()); };
  raw_routes_["GET /api/backup.tar.gz"] = [this](const http_request&) {
    return http_reply{200,
                      "application/gzip",
                      server_.backup_archive(),
                      {{"Content-Disposition", "attachment; filename=\"" + backup_file_name(std::time(nullptr)) + "\""},
                       {"Cache-Control", "no-store"}}};
  };

  posts_["/api/logout"] = [](const json&) { return json_reply(200, json::object()); };
  posts_["/api/page"] = [this](const json& body) {
    auto page = body.at("page").get<std::string>();
    if (page != "server" && page != "bells" && page != "users" && page != "settings") {
      return error_reply(400, "unknown page");
    }
    server_.show_page(page);
    return server_action({});
  };
  posts_["/api/server/start_stop"] = [this](const json&) {
    auto message = server_.BitBtn1Click();
    return server_action(message ? operator_outcome::showing(*message) : operator_outcome{});
  };
  posts_["/api/server/clear_log"] = [this](const json&) {
    server_.BitBtn3Click();
    return server_action({});
  };
  posts_["/api/server/request_data"] = [this](const json&) {
    server_.BitBtn2Click();
    return server_action({});
  };
  posts_["/api/server/ack"] = [this](const json& body) {
    server_.acknowledge_messages(body.at("count").get<std::size_t>());
    return server_action({});
  };
  posts_["/api/server/close"] = [this](const json& body) {
    auto answer = answer_of(body);
    if (answer == operator_answer::none) return server_action(operator_outcome::asking(close_question));
    if (answer == operator_answer::yes) exit_soon();
    return server_action({});
  };
  posts_["/api/settings/save"] = [this](const json& body) {
    // The controls of a disabled window take no values either.
    if (server_.busy()) throw operator_busy();
    server_.edit_settings([&](settings_page& page) { apply_settings(page, body); });
    auto messages = server_.BitBtn13Click();
    return action_reply({messages, std::nullopt}, settings_state_json(server_));
  };
  // Ours: a control of the settings page takes its value at once, as a
  // control of the window would (the log switches count before a save).
  posts_["/api/settings/change"] = [this](const json& body) {
    if (server_.busy()) throw operator_busy();
    server_.edit_settings([&](settings_page& page) { apply_settings(page, body); });
    return json_reply(200, settings_state_json(server_));
  };
  posts_["/api/calendar/save"] = [this](const json& body) {
    auto document = calendar_from_json(body.at("paragraphs"));
    // The check box is a control of the same page: ticked in the page, it
    // enables the group before the button runs, saved or not.
    if (auto on = body.find("calendar_on"); on != body.end()) {
      if (server_.busy()) throw operator_busy();
      json field = {{"calendar_on", on->get<bool>()}};
      server_.edit_settings([&](settings_page& page) { apply_settings(page, field); });
    }
    server_.BitBtn14Click(std::move(document));
    return action_reply({}, calendar_json(server_.calendar()));
  };
  for (auto kind : {moderation_kind::news, moderation_kind::notes}) add_moderation_routes(kind);
  add_users_routes();
  add_bells_routes();
}

void operator_console::add_moderation_routes(moderation_kind kind) {
  const std::string base = kind == moderation_kind::news ? "/api/moderation/news" : "/api/moderation/notes";
  gets_[base] = [this, kind] { return moderation_json(server_.open_moderation(kind)); };
  posts_[base + "/delete"] = [this, kind](const json& body) {
    server_.delete_checked_records(kind, body.at("rows").get<std::vector<std::size_t>>());
    return action_reply({}, moderation_json(server_.moderation(kind)));
  };
  posts_[base + "/delete_all"] = [this, kind](const json& body) {
    auto outcome = server_.delete_all_records(kind, answer_of(body));
    return action_reply(outcome, moderation_json(server_.moderation(kind)));
  };
}

void operator_console::add_users_routes() {
  auto page = [this] { return users_json(server_.users_page()); };
  auto users_action = [page](const operator_outcome& outcome) { return action_reply(outcome, page()); };
  gets_["/api/users"] = page;
  posts_["/api/users/form"] = [this, users_action](const json& body) {
    server_.fill_user_form(user_form_from_json(body));
    return users_action({});
  };
  posts_["/api/users/add"] = [this, users_action](const json& body) {
    return users_action(server_.BitBtn4Click(user_form_from_json(body), answer_of(body)));
  };
  posts_["/api/users/clear"] = [this, users_action](const json&) {
    server_.BitBtn5Click();
    return users_action({});
  };
  posts_["/api/users/load_row"] = [this, users_action](const json& body) {
    auto row = body.at("row").get<std::size_t>();
    on_listed_rows([&] { server_.sListView11DblClick(row); });
    return users_action({});
  };
  posts_["/api/users/checks"] = [this, users_action](const json& body) {
    auto checked = body.at("active").get<std::vector<bool>>();
    on_listed_rows([&] { server_.sListView11Click(checked); });
    return users_action({});
  };
  posts_["/api/users/sort"] = [this, users_action](const json& body) {
    server_.SortUser(sort_key_from_json(body));
    return users_action({});
  };
  posts_["/api/users/block_all"] = [this, users_action](const json& body) {
    return users_action(server_.P1Click(answer_of(body)));
  };
  posts_["/api/users/activate_all"] = [this, users_action](const json& body) {
    return users_action(server_.N4Click(answer_of(body)));
  };
  posts_["/api/users/delete"] = [this, users_action](const json& body) {
    auto row = body.at("row").get<std::size_t>();
    auto answer = answer_of(body);
    return users_action(on_listed_rows([&] { return server_.N3Click(row, answer); }));
  };
  posts_["/api/users/save"] = [this, users_action](const json&) {
    server_.BitBtn9Click();
    return users_action({});
  };
  raw_routes_["POST /api/users/import"] = [this, page](const http_request& request) {
    if (!request.content_type.starts_with("text/csv")) return error_reply(415, "the body must be text/csv");
    auto report = server_.import_users(request.body, query_flag(request.target, "generate"));
    // An import never asks; a file refused whole is shown as a message.
    auto shown = import_report_json(report);
    json messages = shown["error"].is_null() ? json::array() : json::array({shown["error"]});
    return json_reply(200, {{"messages", messages}, {"question", nullptr}, {"page", page()}, {"report", shown}});
  };
  raw_routes_["GET /api/users/export.csv"] = [this](const http_request&) {
    return http_reply{200, "text/csv; charset=utf-8", export_users_csv(*server_.users().snapshot()),
                      {{"Content-Disposition", "attachment; filename=\"users.csv\""}, {"Cache-Control", "no-store"}}};
  };
}

void operator_console::add_bells_routes() {
  for (auto& [path, get] : bells_gets(server_)) gets_[path] = std::move(get);
  for (auto& [path, post] : bells_posts(server_)) {
    posts_[path] = [post = std::move(post)](const json& body) {
      auto result = post(body, answer_of(body));
      return action_reply(result.outcome, result.page);
    };
  }
}

http_reply operator_console::server_action(const operator_outcome& outcome) {
  return action_reply(outcome, server_state_json(server_));
}

void operator_console::exit_soon() {
  auto timer = std::make_shared<boost::asio::steady_timer>(server_.context(), exit_delay);
  timer->async_wait([timer, exit = request_exit_](boost::system::error_code ec) {
    if (!ec) exit();
  });
}

}  // namespace velmira
