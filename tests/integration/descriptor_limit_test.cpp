// The executable under a low limit on open descriptors, as a small machine
// or a strict service manager gives it: a flood of idle client connections
// leaves it calm and still serving HTTP, and it serves as before once the
// flood is gone.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/data_file.hpp"
#include "core/open_files.hpp"
#include "core/text_codec.hpp"
#include "integration/server_fixture.hpp"
#include "integration/server_process.hpp"
#include "support/eventually.hpp"
#include "support/line_client.hpp"
#include "support/temp_dir.hpp"

namespace velmira::testing {
namespace {

constexpr unsigned long descriptor_limit = 256;
constexpr std::size_t idle_clients = 400;
const std::string cap_reached = "TCP: достигнут предел одновременных подключений";
const std::string cap_cleared = "TCP: подключения снова принимаются; закрыто из-за предела: ";
const std::string accept_failed = "ошибка приема подключений";

// CPU time the process has used so far, user and system, in clock ticks.
long cpu_ticks(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat(std::istreambuf_iterator<char>(file), {});
  // The fields after the command name, which is in parentheses and may
  // hold spaces, begin with the third, the state; utime and stime are the
  // fourteenth and fifteenth.
  std::istringstream fields(stat.substr(stat.rfind(')') + 1));
  std::string skipped;
  for (int field = 3; field < 14; ++field) fields >> skipped;
  long utime = 0, stime = 0;
  fields >> utime >> stime;
  return utime + stime;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

// A flood of hundreds of connections takes the server a while to work through.
constexpr std::chrono::seconds flood_patience{20};

class DescriptorLimit : public ::testing::Test {
 protected:
  DescriptorLimit() {
    auto lines = split_lines(*read_file(VELMIRA_FACTORY_SETTINGS));
    lines.at(1) = std::to_string(tcp_port);
    lines.at(2) = std::to_string(http_port);
    lines.at(8) = "web";  // the HTTP login and password
    lines.at(9) = "secret";
    dir.write("setting.ini", join_lines(lines));
    dir.write("users.ini",
              from_utf8(user_line({"1", "Иванов Иван", "", "Учитель", "teach", "pw1", "Да", "Да", "Нет"}) + "\r\n"));
  }

  // A missing menu is answered with the folder's placeholder page, a data
  // file the server has to open.
  std::string menu_reply() const {
    line_client c(http_port);
    c.send("GET /menu/01.01.24.ini HTTP/1.1\r\nHost: school\r\nAuthorization: Basic d2ViOnNlY3JldA==\r\n"
           "Connection: close\r\n\r\n");
    return c.read_for(std::chrono::seconds(10));
  }

  bool logs_in() const {
    line_client c(tcp_port);
    c.send("conecUhitteach;pw1;\r\n");
    return c.read_bytes(5, std::chrono::seconds(2)) == "conec";
  }

  std::uint16_t tcp_port = free_port();
  std::uint16_t http_port = free_port();
  temp_dir dir;
};

const std::string menu_placeholder_reply_start =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1251\r\n";

TEST_F(DescriptorLimit, IdleConnectionsPastTheLimitLeaveTheServerCalmAndServing) {
  ASSERT_GE(raise_descriptor_limit(), idle_clients + 64) << "this test holds the clients' descriptors";
  server_process server(dir, {}, standard_output::collected, descriptor_limit);
  ASSERT_NE(server.output_until(": запуск HTTP сервера ...").find(": запуск HTTP сервера ..."), std::string::npos);

  std::vector<std::unique_ptr<line_client>> idle;
  for (std::size_t i = 0; i < idle_clients; ++i) idle.push_back(std::make_unique<line_client>(tcp_port));
  // Connections are accepted in the order they came: once one more is
  // refused, the server has seen every client. The refused ones are one
  // log line, not one each.
  const std::size_t refused = idle_clients - connection_cap(descriptor_limit, 2);
  line_client last(tcp_port);
  EXPECT_TRUE(last.closed_by_peer(std::chrono::seconds(20)));
  EXPECT_EQ(occurrences(server.output_so_far(), cap_reached), 1u);
  EXPECT_EQ(occurrences(server.output_so_far(), accept_failed), 0u) << "the cap keeps descriptors free";

  // A second of idle connections: a loose bound on CPU ticks, far above
  // what waiting costs and far below a loop that spins.
  const long before = cpu_ticks(server.pid());
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LT(cpu_ticks(server.pid()) - before, ::sysconf(_SC_CLK_TCK) / 2);

  EXPECT_TRUE(menu_reply().starts_with(menu_placeholder_reply_start));

  idle.clear();
  // The server notices the clients gone in its own time; until then a new
  // one may still find the cap reached.
  EXPECT_TRUE(eventually([&] { return logs_in(); }, flood_patience));
  EXPECT_TRUE(menu_reply().starts_with(menu_placeholder_reply_start));
  // Accepting again, it counts what it refused: the clients past the cap,
  // the last one, and log-ins tried before it saw the idle clients go.
  const auto output = server.output_so_far();
  ASSERT_EQ(occurrences(output, cap_cleared), 1u);
  EXPECT_GE(std::stoul(output.substr(output.find(cap_cleared) + cap_cleared.size())), refused + 1);

  server.signal(SIGTERM);
  EXPECT_EQ(server.wait_exit(), 0);
}

}  // namespace
}  // namespace velmira::testing
