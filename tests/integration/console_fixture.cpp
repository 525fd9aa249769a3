#include "integration/console_fixture.hpp"

namespace velmira::testing {

console_fixture::console_fixture(const std::string& users_ini_utf8, const running_server::data_seed& seed)
    : server(users_ini_utf8, {}, seed), console(server.server(), key, [this] { exit_requested = true; }) {
  EXPECT_FALSE(console.start("127.0.0.1", 0));
  port = console.port();
  host = "127.0.0.1:" + std::to_string(port);
}

console_fixture::~console_fixture() { console.stop(); }

http_answer console_fixture::request(const std::string& method, const std::string& path, const std::string& headers,
                                     const std::string& body) {
  return console_exchange(port, method, path, headers, body);
}

http_answer console_fixture::with_key(const std::string& method, const std::string& path, const std::string& body,
                                      const std::string& more_headers) {
  return request(method, path, "Host: " + host + "\r\nAuthorization: Bearer " + key + "\r\n" + more_headers, body);
}

}  // namespace velmira::testing
