#include "integration/console_exchange.hpp"

#include <chrono>
#include <optional>
#include <string_view>

#include "support/line_client.hpp"

namespace velmira::testing {

namespace {

std::optional<std::size_t> content_length(const std::string& head) {
  constexpr std::string_view field = "\r\nContent-Length: ";
  auto at = head.find(field);
  if (at == std::string::npos) return std::nullopt;
  return std::stoul(head.substr(at + field.size()));
}

}  // namespace

http_answer console_exchange(std::uint16_t port, const std::string& method, const std::string& path,
                             const std::string& headers, const std::string& body) {
  line_client c(port);
  c.send(method + " " + path + " HTTP/1.1\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body);
  std::string reply;
  auto end = std::string::npos;
  while (!c.closed_by_peer(std::chrono::milliseconds(0))) {
    auto more = c.read_for(std::chrono::milliseconds(50));
    reply += more;
    if (end == std::string::npos) end = reply.find("\r\n\r\n");
    if (end == std::string::npos) continue;
    // A long body (an export) may pause longer than one read waits.
    auto length = content_length(reply.substr(0, end + 2));
    if (length ? reply.size() >= end + 4 + *length : more.empty()) break;
  }
  http_answer a;
  if (reply.size() > 12) a.status = std::stoi(reply.substr(9, 3));
  a.head = reply.substr(0, end);
  if (end != std::string::npos) a.text = reply.substr(end + 4);
  if (a.head.find("application/json") != std::string::npos && !a.text.empty()) {
    a.body = nlohmann::json::parse(a.text);
  }
  return a;
}

}  // namespace velmira::testing
