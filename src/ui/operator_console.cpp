#include "ui/operator_console.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>

#include "core/failure_report.hpp"
#include "core/operator_error.hpp"
#include "server/server.hpp"
#include "ui/console_access.hpp"
#include "ui/page_assets.hpp"

namespace velmira {

using json = nlohmann::json;
namespace asio = boost::asio;

namespace {

constexpr const char* json_type = "application/json; charset=utf-8";
constexpr const char* close_question = "Закрыть приложение?";
// Long enough for the reply to the close question to leave first.
constexpr std::chrono::milliseconds exit_delay{200};

using header_list = std::vector<std::pair<std::string, std::string>>;

// Writing a reply never throws: bytes that are not UTF-8 (quoted from a
// bad body into an error, say) are replaced.
http_reply json_reply(unsigned status, const json& body, header_list headers = {}) {
  headers.emplace_back("Cache-Control", "no-store");
  return {status, json_type, body.dump(-1, ' ', false, json::error_handler_t::replace), std::move(headers)};
}

http_reply error_reply(unsigned status, const std::string& text) { return json_reply(status, {{"error", text}}); }

std::string path_of(const std::string& target) { return target.substr(0, target.find('?')); }

json body_of(const http_request& request) {
  if (request.body.empty()) return json::object();
  auto body = json::parse(request.body);
  if (!body.is_object()) throw json::type_error::create(302, "the body must be a JSON object", nullptr);
  return body;
}

// The page may run only its own script and never be framed by another site.
header_list page_headers() {
  // Inline style attributes are how the rich text editor aligns a paragraph;
  // the stylesheet draws check marks and arrows as data: images.
  return {{"Content-Security-Policy",
           "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data:; "
           "frame-ancestors 'none'; base-uri 'none'; "
           "form-action 'self'"},
          {"X-Content-Type-Options", "nosniff"},
          {"Cache-Control", "no-cache"}};
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
      listener_(server.context(), *this, server.log(), {.max_body = limits::max_console_body, .answer_large_body = true}),
      routes_(page_routes()) {
  routes_.add(own_routes());
}

operator_console::~operator_console() { listener_.stop(); }

std::error_code operator_console::start(const std::string& address, std::uint16_t port) {
  if (auto ec = listener_.start(address, port)) return ec;
  address_ = address;
  access_ = std::make_unique<console_access>(console_access_options{key_, address, listener_.local_port()});
  return {};
}

void operator_console::async_serve(http_request request, std::shared_ptr<http_reply_sink> sink) {
  auto strand = sink->executor();
  asio::co_spawn(strand, answer(std::move(request)), [sink](std::exception_ptr failure, http_reply reply) {
    if (failure) reply = error_reply(500, "the request failed");
    sink->send(std::move(reply));
  });
}

asio::awaitable<http_reply> operator_console::answer(http_request request) {
  const auto path = path_of(request.target);
  try {
    if (request.method != "POST" && !path.starts_with("/api/")) co_return page_asset_reply(path, request.host);
    if (request.method == "POST" && path == "/api/login") co_return log_in(request);
    if (auto refused = refusal(request, path)) co_return std::move(*refused);
    co_return co_await route(request, path);
  } catch (const operator_busy&) {
    co_return error_reply(409, "busy");
  } catch (const json::exception& e) {
    co_return error_reply(400, e.what());
  } catch (const std::exception& e) {
    co_return error_reply(500, e.what());
  }
}

http_reply operator_console::log_in(const http_request& request) {
  if (!host_names_console(request.host, address_, port())) return error_reply(421, "misdirected request");
  // A page of another site can post a form or a no-cors fetch, but not with
  // this type: it can neither log in nor spend the operator's attempts.
  if (!request.content_type.starts_with("application/json")) {
    return error_reply(415, "the body must be application/json");
  }
  auto outcome = access_->log_in(body_of(request).value("key", ""), request.peer);
  if (outcome.result == login_outcome::throttled) return error_reply(429, "too many failed log-ins");
  if (outcome.result == login_outcome::wrong_key) return error_reply(401, "wrong key");
  return json_reply(200, json::object(), {{"Set-Cookie", console_access::session_cookie(outcome.token)}});
}

std::optional<http_reply> operator_console::refusal(const http_request& request, const std::string& path) {
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
  return std::nullopt;
}

asio::awaitable<http_reply> operator_console::route(const http_request& request, const std::string& path) {
  if (auto raw = routes_.raw.find(request.method + " " + path); raw != routes_.raw.end()) {
    const auto& run = raw->second;
    co_return co_await server_.operate([&](operator_desk& desk) { return run(desk, request); });
  }
  if (request.method == "GET" || request.method == "HEAD") {
    auto page = routes_.pages.find(path);
    if (page == routes_.pages.end()) co_return error_reply(404, "not found");
    co_return co_await get_page(page->second);
  }
  if (request.method != "POST") co_return error_reply(405, "method not allowed");
  auto action = routes_.actions.find(path);
  if (action == routes_.actions.end()) co_return error_reply(404, "not found");
  co_return co_await act(path, action->second, request);
}

// The reply is written out on the operator's thread too: a district's
// users page is megabytes of text, and the pool's threads serve the clients.
asio::awaitable<http_reply> operator_console::get_page(const console_page& page) {
  co_return co_await server_.operate([&](operator_desk& desk) {
    auto shown = show_page(page, desk);
    return json_reply(200, shown.state, {{"ETag", shown.tag}});
  });
}

// The tag check, the busy check, the action and the page after it: one job,
// so nothing another operator does can come between them.
asio::awaitable<http_reply> operator_console::act(const std::string& path, const console_action& action,
                                                  const http_request& request) {
  const auto body = body_of(request);
  auto reply = co_await server_.operate([&](operator_desk& desk) {
    auto done = run_action(routes_, action, desk, body, request.if_match);
    if (done.stale) return error_reply(412, "stale");
    json question = nullptr;
    if (done.outcome.question) question = {{"caption", question_caption}, {"text", *done.outcome.question}};
    return json_reply(200,
                      {{"messages", done.outcome.messages}, {"question", question}, {"page", std::move(done.page.state)}},
                      {{"ETag", done.page.tag}});
  });
  // From where and when each change was made, for the service's journal.
  if (reply.status == 200 && action.writes_files) report_to_journal("console", request.peer + ": " + path);
  co_return reply;
}

http_reply operator_console::page_asset_reply(const std::string& path, const std::string& host) const {
  if (!host_names_console(host, address_, port())) return error_reply(421, "misdirected request");
  auto asset = find_page_asset(path);
  if (!asset) return error_reply(404, "not found");
  return {200, std::string(asset->content_type), std::string(asset->bytes), page_headers()};
}

console_routes operator_console::own_routes() {
  console_routes routes;
  routes.actions["/api/server/close"] = {"/api/server",
                                         [this](operator_desk&, const json& body) {
                                           auto answer = answer_of(body);
                                           if (answer == operator_answer::none) return operator_outcome::asking(close_question);
                                           if (answer == operator_answer::yes) exit_soon();
                                           return operator_outcome{};
                                         },
                                         false};
  routes.raw["POST /api/logout"] = [this](operator_desk&, const http_request& request) {
    access_->log_out(request.cookie);
    return json_reply(200, json::object(), {{"Set-Cookie", console_access::expired_session_cookie()}});
  };
  return routes;
}

void operator_console::exit_soon() {
  auto timer = std::make_shared<asio::steady_timer>(server_.context(), exit_delay);
  timer->async_wait([timer, exit = request_exit_](boost::system::error_code ec) {
    if (!ec) exit();
  });
}

}  // namespace velmira
