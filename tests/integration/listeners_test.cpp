// Starting and stopping the listeners as the operator sees it.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "integration/server_fixture.hpp"
#include "support/case_name.hpp"

namespace velmira::testing {
namespace {

using ::testing::ElementsAre;

// Holds a port the way another program would.
class port_squatter {
 public:
  explicit port_squatter(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 1) != 0) {
      throw std::runtime_error("cannot hold the port");
    }
  }
  ~port_squatter() { ::close(fd_); }

 private:
  int fd_;
};

bool accepts(std::uint16_t port) {
  try {
    line_client c(port);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

TEST(Listeners, StartUpStartsBothAndLogsIt) {
  running_server s;
  EXPECT_THAT(s.log_lines(), ElementsAre("[05.09.2024] 10:00:00: запуск TCP сервера ...",
                                         "[05.09.2024] 10:00:00: запуск HTTP сервера ..."));
  EXPECT_EQ(s.page().running_state, '1');
  EXPECT_EQ(s.call([](operator_desk& d) { return d.cl(); }), 0);
  EXPECT_TRUE(accepts(s.tcp_port()));
  EXPECT_TRUE(accepts(s.http_port()));
}

TEST(Listeners, TakenHttpPortLeavesBothStopped) {
  running_server s;
  s.call([](operator_desk& d) { d.ServerStop(); });
  port_squatter other_program(s.http_port());
  s.server().log().clear();

  s.call([](operator_desk& d) { d.ServerStart(); });

  EXPECT_THAT(s.log_lines(), ElementsAre("[05.09.2024] 10:00:00: запуск TCP сервера ...",
                                         "[05.09.2024] 10:00:00: ошибка при попытке запустить HTTP сервер"));
  EXPECT_EQ(s.page().running_state, '0');
  EXPECT_FALSE(s.page().game_counter_visible);
  EXPECT_EQ(s.call([](operator_desk& d) { return d.cl(); }), 1);
  EXPECT_FALSE(accepts(s.tcp_port()));
}

TEST(Listeners, StoppingTwiceLogsBothLinesTwice) {
  running_server s;
  s.server().log().clear();
  s.call([](operator_desk& d) { d.ServerStop(); });
  s.call([](operator_desk& d) { d.ServerStop(); });
  EXPECT_THAT(s.log_lines(), ElementsAre("[05.09.2024] 10:00:00: TCP сервер остановлен",
                                         "[05.09.2024] 10:00:00: HTTP сервер остановлен",
                                         "[05.09.2024] 10:00:00: TCP сервер остановлен",
                                         "[05.09.2024] 10:00:00: HTTP сервер остановлен"));
  EXPECT_FALSE(accepts(s.tcp_port()));
  EXPECT_FALSE(accepts(s.http_port()));
}

TEST(Listeners, StopClosesOpenConnections) {
  running_server s;
  auto c = s.connect();
  c->send("zameVUchepupil;pw2;\r\n");  // no such user: proves the session is live
  ASSERT_EQ(c->read_bytes(5), "error");
  s.call([](operator_desk& d) { d.ServerStop(); });
  EXPECT_TRUE(c->closed_by_peer());
}

TEST(Listeners, StartButtonTogglesBetweenStoppedAndRunning) {
  running_server s;
  s.act("/api/server/start_stop");
  EXPECT_EQ(s.page().running_state, '0');
  EXPECT_FALSE(accepts(s.tcp_port()));
  s.act("/api/server/start_stop");
  EXPECT_EQ(s.page().running_state, '1');
  EXPECT_TRUE(accepts(s.tcp_port()));
}

struct refused_start {
  const char* name;
  int line;            // settings line, from 1
  const char* value;
};

class RefusedStart : public ::testing::TestWithParam<refused_start> {};

TEST_P(RefusedStart, LogsThePreconditionLineOnly) {
  running_server s("", [](std::vector<std::string>& lines) {
    lines[static_cast<size_t>(GetParam().line - 1)] = GetParam().value;
  });
  EXPECT_THAT(s.log_lines(), ElementsAre("[05.09.2024] 10:00:00: не заполнены ВСЕ поля раздаела Порт в "
                                         "Настройках или вы не подключены к компьютерной сети"));
  EXPECT_EQ(s.page().running_state, '0');
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedStart,
                         ::testing::Values(refused_start{"ZeroHttpPort", 3, "0"},
                                           refused_start{"LettersForTheTcpPort", 2, "abc"},
                                           refused_start{"NoFileServerPort", 4, ""},
                                           refused_start{"NoHttpLogin", 9, ""},
                                           refused_start{"NoHttpPassword", 10, ""}),
                         testing::by_name);

TEST(Listeners, PortOutsideTheRangeIsReportedAndNothingStarts) {
  running_server s("", [](std::vector<std::string>& lines) { lines[1] = "70000"; });
  EXPECT_EQ(s.page().running_state, '0');
  ASSERT_EQ(s.log_lines().size(), 1u);
  EXPECT_THAT(s.log_lines()[0], ::testing::HasSubstr("65535"));
}

}  // namespace
}  // namespace velmira::testing
