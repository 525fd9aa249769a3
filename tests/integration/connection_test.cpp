// The line protocol over real sockets: framing, conversion, replies, the
// log's housekeeping and many connections at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>

#include "integration/server_fixture.hpp"
#include "support/case_name.hpp"
#include "support/stderr_capture.hpp"

namespace velmira::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

const std::string users =
    user_line({"1", "Иванов Иван", "", "Учитель", "teach", "pw1", "Да", "Да", "Нет"}) + "\r\n" +
    user_line({"1", "Петров Пётр", "5А", "Ученик", "pupil", "pw2", "Да", "Нет", "Да"}) + "\r\n" +
    user_line({"0", "Прежний", "", "Директор", "boss", "pw3", "Да", "Да", "Нет"}) + "\r\n" +
    user_line({"1", "Нынешний", "", "Директор", "boss", "pw3", "Нет", "Нет", "Да"}) + "\r\n" +
    user_line({"1", "Вопрос", "", "Родитель", "a?b", "pw4", "Да", "Нет", "Нет"}) + "\r\n";

class Connection : public ::testing::Test {
 protected:
  running_server server{users};

  std::string connection_data(const std::string& notes_flag) const {
    return "conec2.0.4$" + std::to_string(server.http_port()) +
           "$7003$+7 000 000-00-00$school.example$mail@school.example$vk.example/school$" + notes_flag +
           "$web$secret$D8EAEEEBE0$0$";
  }
};

TEST_F(Connection, TwoRequestsBackToBackAreAnsweredInOrder) {
  auto c = server.connect();
  c->send("zameVUchepupil;pw2;\r\nnewsVUhitteach;pw1;\r\n");
  EXPECT_EQ(c->read_bytes(12), "zameV1newsV1");
}

// The add is written on the operator's thread, the query answered at once:
// sent together, the query still waits for the add before it.
TEST_F(Connection, AQueryAfterAnAddIsAnsweredOnlyOnceTheAddIsStored) {
  auto c = server.connect();
  for (int i = 0; i < 20; ++i) {
    c->send("newsSUhitteach\vpw1\v\vadd " + std::to_string(i) + "\v\nzameVUchepupil;pw2;\n");
    ASSERT_EQ(c->read_bytes(6), "zameV1");
    EXPECT_NE(server.dir().read("news/data.ini").find("add " + std::to_string(i) + "\v"), std::string::npos) << i;
  }
}

TEST_F(Connection, IgnoredLineKeepsTheConnectionAndSendsNothing) {
  auto c = server.connect();
  c->send("hello\r\n");
  c->send("publlUhitteach;pw1;\r\n");  // publication needs a dispatcher's role code
  c->send("zameVUchepupil;pw2;\r\n");
  EXPECT_EQ(c->read_bytes(6), "zameV1");
}

TEST_F(Connection, LineEndedByLfAloneIsServed) {
  auto c = server.connect();
  c->send("zameVUchepupil;pw2;\n");
  EXPECT_EQ(c->read_bytes(6), "zameV1");
}

TEST_F(Connection, ReplyIsExactlyItsBytesWithoutTerminator) {
  auto c = server.connect();
  c->send("conecZvon\r\n");
  auto expected = connection_data("0");
  EXPECT_EQ(c->read_bytes(expected.size()), expected);
  EXPECT_EQ(c->read_for(std::chrono::milliseconds(200)), "");
}

TEST_F(Connection, CharacterOutsideWindows1251BecomesQuestionMark) {
  auto c = server.connect();
  c->send("conecRodia\xF0\x9F\x98\x80" "b;pw4;\r\n");
  auto expected = connection_data("0");
  EXPECT_EQ(c->read_bytes(expected.size()), expected);
}

TEST_F(Connection, LongestLineIsServedAndOneByteMoreEndsTheConnection) {
  auto c = server.connect();
  std::string longest = "zameVUchepupil;pw2;";
  longest += std::string(16384 - longest.size(), 'x');
  c->send(longest + "\n");
  EXPECT_EQ(c->read_bytes(6), "zameV1");

  c->send(longest + "x\nzameVUchepupil;pw2;\n");
  EXPECT_TRUE(c->closed_by_peer());
}

TEST_F(Connection, AFailedRequestEndsTheConnectionWithOneLineOnStandardError) {
  stderr_capture errors;
  // A folder where the announcements file should be: the rewrite fails.
  std::filesystem::create_directories(server.dir().path() / "news" / "data.ini");
  auto c = server.connect();
  c->send("newsSUhitteach\vpw1\v\vtext\v\n");
  EXPECT_TRUE(c->closed_by_peer());
  EXPECT_THAT(errors.until("\n"), StartsWith("velmira: TCP request: "));
}

TEST_F(Connection, EndingsThatBelongToAConnectionsLifeLeaveNoTrace) {
  stderr_capture errors;
  {
    auto hangs_up = server.connect();
    hangs_up->send("zameVUchepupil;pw2;\n");
    EXPECT_EQ(hangs_up->read_bytes(6), "zameV1");
  }
  auto too_long = server.connect();
  too_long->send(std::string(20000, 'x') + "\n");
  EXPECT_TRUE(too_long->closed_by_peer());
  auto still_served = server.connect();
  still_served->send("zameVUchepupil;pw2;\n");
  EXPECT_EQ(still_served->read_bytes(6), "zameV1");
  // Nothing may come, so the wait is bounded and short.
  EXPECT_EQ(errors.until("\n", std::chrono::milliseconds(500)), "");
}

TEST_F(Connection, LogOfMoreThan100LinesIsClearedByTheNextRequest) {
  server.server().log().clear();
  for (int i = 0; i < 101; ++i) server.server().log().append(": filler");
  auto c = server.connect();
  c->send("zameVUchepupil;pw2;\r\n");
  ASSERT_EQ(c->read_bytes(6), "zameV1");
  EXPECT_THAT(server.log_lines(), ElementsAre("Очищено 05.09.2024 в 10:00:00"));
}

TEST_F(Connection, LogOfExactly100LinesIsKept) {
  server.server().log().clear();
  for (int i = 0; i < 100; ++i) server.server().log().append(": filler");
  auto c = server.connect();
  c->send("zameVUchepupil;pw2;\r\n");
  ASSERT_EQ(c->read_bytes(6), "zameV1");
  EXPECT_EQ(server.log_lines().size(), 100u);
}

TEST_F(Connection, ThousandSimultaneousConnectionsAreEachAnswered) {
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur < 2500 && files.rlim_max >= 2500) {
    files.rlim_cur = 2500;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  std::vector<std::unique_ptr<line_client>> clients;
  for (int i = 0; i < 1000; ++i) clients.push_back(server.connect());
  for (auto& c : clients) c->send("newsVUchepupil;pw2;\r\n");
  int answered = 0;
  for (auto& c : clients) answered += c->read_bytes(6) == "newsV0";
  EXPECT_EQ(answered, 1000);
}

struct login_case {
  const char* request;
  const char* reply;  // "data0"/"data1": the connection data with that notes flag
};

class LoginReplies : public Connection, public ::testing::WithParamInterface<login_case> {};

TEST_P(LoginReplies, MatchTheUserTable) {
  std::string expected = GetParam().reply;
  if (expected == "data0") expected = connection_data("0");
  if (expected == "data1") expected = connection_data("1");
  auto c = server.connect();
  c->send(std::string(GetParam().request) + "\r\n");
  EXPECT_EQ(c->read_bytes(expected.size()), expected) << GetParam().request;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginReplies,
    ::testing::Values(login_case{"conecUhitteach;pw1;", "data0"}, login_case{"conecUchepupil;pw2;", "data1"},
                      login_case{"conecUcheteach;pw1;", "error"},   // a teacher posing as a pupil
                      login_case{"conecUhitteach;wrong;", "error"}, login_case{"conecUhitTeach;pw1;", "error"},
                      login_case{"conecUhitteach;pw1", "error"},    // no ";" after the password
                      login_case{"conecXyzzteach;pw1;", "error"},   // unknown role code
                      login_case{"conecDireboss;pw3;", "data1"},    // blocked first row, active second
                      login_case{"conecZvon", "data0"}, login_case{"conecZvonanything;at;all;", "data0"},
                      login_case{"conecUhi", "error"},              // line shorter than nine characters
                      login_case{"zameVUchepupil;pw2;", "zameV1"}, login_case{"zameVUhitteach;pw1;", "error"},
                      login_case{"zameVUchepupil;bad;", "error"}, login_case{"newsVUhitteach;pw1;", "newsV1"},
                      login_case{"newsVUchepupil;pw2;", "newsV0"}, login_case{"newsVDireboss;pw3;", "error"},
                      login_case{"newsVUhitteach;pw2;", "error"}),
    testing::by_text_of(&login_case::request));

}  // namespace
}  // namespace velmira::testing
