#pragma once
// The operator console: its own HTTP listener on one address, the access
// rules, and the JSON API over the server's operations. The page models
// live in their subsystems; this maps them to requests and replies.
//
// Thread-safety: requests are handled on the pool threads; every operation
// they reach runs on the server's operator thread.
#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "content/moderation.hpp"
#include "core/http_listener.hpp"
#include "core/operator_outcome.hpp"

namespace velmira {

class Server;
class console_access;

class operator_console final : public http_handler {
 public:
  // `server` must outlive the console; `request_exit` ends the process
  // cleanly (as SIGTERM does) and is called once the close question is
  // answered Yes.
  operator_console(Server& server, std::string key, std::function<void()> request_exit);
  ~operator_console() override;

  // Binds `address` (an IPv4 or IPv6 literal) and `port` (0: a free one).
  std::error_code start(const std::string& address, std::uint16_t port);
  std::uint16_t port() const { return listener_.local_port(); }
  void stop() { listener_.stop(); }

  http_reply handle(const http_request& request) override;

 private:
  using get_route = std::function<nlohmann::json()>;
  using post_route = std::function<http_reply(const nlohmann::json& body)>;
  // A GET whose reply is no JSON (a download).
  using raw_get_route = std::function<http_reply()>;

  http_reply route(const http_request& request, const std::string& path);
  http_reply page_asset_reply(const std::string& path, const std::string& host) const;
  void add_routes();
  void add_moderation_routes(moderation_kind kind);
  // An action of the "Сервер" page: its outcome and the page after it.
  http_reply server_action(const operator_outcome& outcome);
  // Ends the process once the reply has had time to leave.
  void exit_soon();

  Server& server_;
  std::string key_;
  std::string address_;
  std::function<void()> request_exit_;
  std::unique_ptr<console_access> access_;
  http_listener listener_;
  // Paths of the API; filled once by the constructor, read-only after.
  std::map<std::string, get_route> gets_;
  std::map<std::string, post_route> posts_;
  std::map<std::string, raw_get_route> raw_gets_;
};

// "ADDR:PORT" as --console takes it ("127.0.0.1:7080", "[::1]:7080"); the
// address without brackets. Nothing when it is not of that form.
struct console_address {
  std::string address;
  std::uint16_t port = 0;
};
std::optional<console_address> parse_console_address(const std::string& text);

}  // namespace velmira
