#include "integration/console_fixture.hpp"

#include <chrono>
#include <optional>

#include "support/line_client.hpp"

namespace velmira::testing {

namespace {

// The Content-Length of a reply head, or nothing.
std::optional<std::size_t> content_length(const std::string& head) {
  constexpr std::string_view field = "\r\nContent-Length: ";
  auto at = head.find(field);
  if (at == std::string::npos) return std::nullopt;
  return std::stoul(head.substr(at + field.size()));
}

}  // namespace

console_fixture::console_fixture(const std::string& users_ini_utf8)
    : server(users_ini_utf8), console(server.server(), key, [this] { exit_requested = true; }) {
  EXPECT_FALSE(console.start("127.0.0.1", 0));
  port = console.port();
  host = "127.0.0.1:" + std::to_string(port);
}

console_fixture::~console_fixture() { console.stop(); }

http_answer console_fixture::request(const std::string& method, const std::string& path, const std::string& headers,
                                     const std::string& body) {
  line_client c(port);
  c.send(method + " " + path + " HTTP/1.1\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body);
  std::string reply;
  http_answer a;
  auto end = std::string::npos;
  while (!c.closed_by_peer(std::chrono::milliseconds(0))) {
    auto more = c.read_for(std::chrono::milliseconds(50));
    reply += more;
    if (end == std::string::npos) end = reply.find("\r\n\r\n");
    if (end == std::string::npos) continue;
    auto length = content_length(reply.substr(0, end + 2));
    if (length ? reply.size() >= end + 4 + *length : more.empty()) break;
  }
  if (reply.size() > 12) a.status = std::stoi(reply.substr(9, 3));
  a.head = reply.substr(0, end);
  if (end != std::string::npos) a.text = reply.substr(end + 4);
  if (a.head.find("application/json") != std::string::npos && !a.text.empty()) a.body = nlohmann::json::parse(a.text);
  return a;
}

http_answer console_fixture::with_key(const std::string& method, const std::string& path, const std::string& body,
                                      const std::string& more_headers) {
  return request(method, path, "Host: " + host + "\r\nAuthorization: Bearer " + key + "\r\n" + more_headers, body);
}

}  // namespace velmira::testing
