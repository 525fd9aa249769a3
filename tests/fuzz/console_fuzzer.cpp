// Requests to the operator console, answered by a whole server over a
// seeded data directory, as a connection would have them answered. An
// input is a request line "METHOD TARGET", header lines "Name: value", an
// empty line and the body; the operator key and the console's Host come
// first, so an input's own headers may replace them.
//
// Besides crashing, a request fails when it is answered 500: the data
// directory lives in memory and never fails to be written, so no input may
// make one.
//
// A body that names a port, the mode or the master is left out: saving it
// would open listeners on the wildcard address or reach for another host.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <string_view>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/http_listener.hpp"
#include "fuzz_support.hpp"
#include "server/server.hpp"
#include "support/temp_dir.hpp"
#include "ui/operator_console.hpp"

namespace velmira {
namespace {

constexpr std::string_view key = "fuzz-operator-key-0123456789";

// The reply of one request, waited for by the fuzzer's thread.
class waiting_sink final : public http_reply_sink {
 public:
  explicit waiting_sink(boost::asio::io_context& io) : io_(io) {}
  void send(http_reply reply) override { reply_.set_value(std::move(reply)); }
  boost::asio::any_io_executor executor() const override { return io_.get_executor(); }
  std::future<http_reply> reply() { return reply_.get_future(); }

 private:
  boost::asio::io_context& io_;
  std::promise<http_reply> reply_;
};

bool names_the_network(std::string_view body) {
  for (std::string_view word : {"port", "mode", "master"}) {
    if (body.find(word) != std::string_view::npos) return true;
  }
  return false;
}

void set_header(http_request& request, std::string_view name, std::string value) {
  if (name == "Host") request.host = std::move(value);
  if (name == "Authorization") request.authorization = std::move(value);
  if (name == "Cookie") request.cookie = std::move(value);
  if (name == "X-Velmira") request.x_velmira = std::move(value);
  if (name == "Content-Type") request.content_type = std::move(value);
  if (name == "If-Match") request.if_match = std::move(value);
}

class console_under_test {
 public:
  console_under_test() {
    data_directory data(dir_.path());
    fuzz::seed_data_directory(data);
    // Ports no listener takes: the server starts without client listeners.
    auto settings = fuzz::seeded_settings_ini();
    dir_.write("setting.ini", with_ports_zero(settings));
    server_ = std::make_unique<Server>(server_state_options{.data_dir = dir_.path(),
                                                            .executable = dir_.path() / "velmira",
                                                            .autostart_folder = dir_.path() / "autostart",
                                                            .organisation_utf8 = "Школа",
                                                            .clock = &clock_,
                                                            .threads = 2});
    server_->FormCreate();
    console_ = std::make_unique<operator_console>(*server_, std::string(key), [] {});
    fuzz::require(!console_->start("127.0.0.1", 0), "the console listens");
    host_ = "127.0.0.1:" + std::to_string(console_->port());
  }

  void check(std::string_view input) {
    auto request = request_from(input);
    if (!request || names_the_network(request->body)) return;
    auto sink = std::make_shared<waiting_sink>(server_->context());
    auto reply = sink->reply();
    console_->async_serve(std::move(*request), sink);
    fuzz::require(reply.wait_for(std::chrono::seconds(5)) == std::future_status::ready, "the console answered");
    fuzz::require(reply.get().status != 500, "a request was answered 500");
  }

 private:
  static std::string with_ports_zero(const std::string& settings) {
    std::string out;
    std::size_t line = 0, start = 0;
    while (start < settings.size()) {
      auto end = settings.find("\r\n", start);
      if (end == std::string::npos) end = settings.size();
      ++line;
      out += (line == 2 || line == 3) ? "0" : settings.substr(start, end - start);
      out += "\r\n";
      start = end + 2;
    }
    return out;
  }

  std::optional<http_request> request_from(std::string_view input) const {
    auto line_end = input.find('\n');
    if (line_end == std::string_view::npos) return std::nullopt;
    auto first = input.substr(0, line_end);
    auto space = first.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    http_request request{std::string(first.substr(0, space)), std::string(first.substr(space + 1)),
                         "Bearer " + std::string(key)};
    request.host = host_;
    request.content_type = "application/json";
    request.peer = "127.0.0.1";
    input.remove_prefix(line_end + 1);
    while (true) {
      auto end = input.find('\n');
      auto header = input.substr(0, end);
      input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
      if (header.empty() || end == std::string_view::npos) break;
      auto colon = header.find(": ");
      if (colon != std::string_view::npos) set_header(request, header.substr(0, colon), std::string(header.substr(colon + 2)));
    }
    request.body = std::string(input);
    return request;
  }

  testing::temp_dir dir_;
  manual_clock clock_{make_local(2024, 9, 5, 10, 0, 0)};
  std::unique_ptr<Server> server_;
  std::unique_ptr<operator_console> console_;
  std::string host_;
};

}  // namespace
}  // namespace velmira

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velmira::console_under_test console;
  console.check(velmira::fuzz::as_text(data, size));
  return 0;
}
