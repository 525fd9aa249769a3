// The executable with a standard output nobody reads, as under a service
// manager whose reader has stalled: requests that log must still be answered,
// and the server must still stop.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "core/data_file.hpp"
#include "integration/server_process.hpp"
#include "support/line_client.hpp"
#include "support/temp_dir.hpp"

namespace velmira::testing {
namespace {

constexpr int refused_requests = 1000;
// Logged for every refused request: remote administration is off in the
// factory settings.
const std::string refusal_line = ": Попытка уделенного управления. Отказано, т. к. удаленный доступ запрещен.";

size_t occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

class StalledOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    auto settings = settings_on_free_ports();
    tcp_port_ = static_cast<std::uint16_t>(std::stoi(settings.at(1)));
    dir_.write("setting.ini", join_lines(settings));
    server_ = std::make_unique<server_process>(dir_, std::vector<std::string>{}, standard_output::left_unread);
    // Only the start-up lines are read; the pipe fills up again after a few
    // dozen refusals.
    server_->standard_output_until(
        [](const std::string& out) { return out.find(": запуск TCP сервера ...") != std::string::npos; });
  }

  // Each refusal is answered, though its log line has nowhere to go.
  void send_refused_requests() {
    line_client c(tcp_port_);
    for (int i = 1; i <= refused_requests; ++i) {
      c.send("conecAdmix;y;\n");
      ASSERT_EQ(c.read_bytes(5), "error") << "request " << i;
    }
  }

  temp_dir dir_;
  std::uint16_t tcp_port_ = 0;
  std::unique_ptr<server_process> server_;
};

TEST_F(StalledOutput, RequestsAreAnsweredAndTheirLinesArriveOnceTheReaderReads) {
  send_refused_requests();
  auto out = server_->standard_output_until(
      [](const std::string& text) { return occurrences(text, refusal_line) >= refused_requests; });
  EXPECT_EQ(occurrences(out, refusal_line), static_cast<size_t>(refused_requests));
  server_->signal(SIGTERM);
  EXPECT_EQ(server_->wait_exit(), 0);
}

TEST_F(StalledOutput, ServerStopsWhileNobodyReads) {
  send_refused_requests();
  server_->signal(SIGTERM);
  EXPECT_EQ(server_->wait_exit(), 0);
}

}  // namespace
}  // namespace velmira::testing
