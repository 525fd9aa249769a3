#pragma once
// The operator console: its own HTTP listener on one address, the access
// rules, and the dispatch of the routes each page's file declares. Access
// is decided on the connection's strand; every route then runs as one job
// on the server's operator thread, and the connection resumes on its
// strand with the reply. No pool thread ever waits for the operator.
//
// Thread-safety: requests arrive on the pool threads concurrently; the
// routes are filled once by the constructor and read-only after.
#include <boost/asio/awaitable.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "core/http_listener.hpp"
#include "ui/console_routes.hpp"

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

  void async_serve(http_request request, std::shared_ptr<http_reply_sink> sink) override;

 private:
  boost::asio::awaitable<http_reply> answer(http_request request);
  // The access rules' refusal of a request, if any.
  std::optional<http_reply> refusal(const http_request& request, const std::string& path);
  http_reply log_in(const http_request& request);
  boost::asio::awaitable<http_reply> route(const http_request& request, const std::string& path);
  boost::asio::awaitable<http_reply> get_page(const console_page& page);
  boost::asio::awaitable<http_reply> act(const std::string& path, const console_action& action,
                                         const http_request& request);
  http_reply page_asset_reply(const std::string& path, const std::string& host) const;
  // The console's own routes: the close question, the log-out.
  console_routes own_routes();
  // Ends the process once the reply has had time to leave.
  void exit_soon();

  Server& server_;
  std::string key_;
  std::string address_;
  std::function<void()> request_exit_;
  std::unique_ptr<console_access> access_;
  http_listener listener_;
  console_routes routes_;
};

// "ADDR:PORT" as --console takes it ("127.0.0.1:7080", "[::1]:7080"); the
// address without brackets. Nothing when it is not of that form.
struct console_address {
  std::string address;
  std::uint16_t port = 0;
};
std::optional<console_address> parse_console_address(const std::string& text);

}  // namespace velmira
