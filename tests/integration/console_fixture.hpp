#pragma once
// A real server in a temporary data directory with its operator console
// on a free loopback port.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "integration/console_exchange.hpp"
#include "integration/server_fixture.hpp"
#include "ui/operator_console.hpp"

namespace velmira::testing {

class console_fixture : public ::testing::Test {
 protected:
  // `users_ini_utf8` and `seed` as running_server takes them.
  explicit console_fixture(const std::string& users_ini_utf8 = "", const running_server::data_seed& seed = {});
  ~console_fixture() override;

  // One request on a connection of its own; `headers` end each with CR LF.
  http_answer request(const std::string& method, const std::string& path, const std::string& headers,
                      const std::string& body = "");
  // With the operator key and the console's own Host.
  http_answer with_key(const std::string& method, const std::string& path, const std::string& body = "{}",
                       const std::string& more_headers = "");

  const std::string key = "operator-key-0123456789";
  running_server server;
  std::atomic<bool> exit_requested{false};
  operator_console console;
  std::uint16_t port = 0;
  std::string host;
};

}  // namespace velmira::testing
