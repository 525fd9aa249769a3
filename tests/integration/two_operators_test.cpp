// Two operators at once over real sockets: an index or a "yes" sent with the
// tag of the page its sender saw means what that operator saw, or nothing;
// and console work, however slow, never holds up the client protocol.
#include <gtest/gtest.h>

#include <future>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/text_codec.hpp"
#include "integration/console_exchange.hpp"
#include "integration/console_fixture.hpp"
#include "integration/server_fixture.hpp"
#include "support/line_client.hpp"

namespace velmira::testing {
namespace {

using json = nlohmann::json;

std::string news_record(const std::string& text) {
  return "05.09.2024\v10:00:00\vteach\vt1\vУчитель\vУчитель\v" + text + "\vclBlack\v";
}

const std::string three_records = news_record("rec-0") + "\r\n" + news_record("rec-1") + "\r\n" +
                                  news_record("rec-2") + "\r\n";

const std::string three_users =
    user_line({"1", "Яковлев", "", "Диспетчер", "disp", "d1", "Да", "Нет", "Да"}) + "\r\n" +
    user_line({"1", "Борисов", "", "Учитель", "teach", "t1", "Да", "Да", "Да"}) + "\r\n" +
    user_line({"1", "Андреев", "5А", "Ученик", "pupil", "p1", "Да", "Нет", "Нет"}) + "\r\n";

std::string tag_of(const http_answer& answer) {
  const std::string field = "ETag: ";
  auto at = answer.head.find(field);
  if (at == std::string::npos) return "";
  auto end = answer.head.find("\r\n", at);
  return answer.head.substr(at + field.size(), end - at - field.size());
}

// One operator: a browser's session, logged in by cookie.
class operator_session {
 public:
  operator_session(std::uint16_t port, std::string host, const http_answer& login)
      : port_(port), host_(std::move(host)) {
    const auto& head = login.head;
    auto at = head.find("velmira_session=");
    cookie_ = head.substr(at, head.find(';', at) - at);
  }
  http_answer get(const std::string& path) { return console_exchange(port_, "GET", path, headers("")); }
  http_answer post(const std::string& path, const json& body, const std::string& tag = "") {
    return console_exchange(port_, "POST", path, headers(tag.empty() ? "" : "If-Match: " + tag + "\r\n"), body.dump());
  }

 private:
  std::string headers(const std::string& more) const {
    return "Host: " + host_ + "\r\nCookie: " + cookie_ + "\r\nX-Velmira: 1\r\n" + more;
  }
  std::uint16_t port_;
  std::string host_;
  std::string cookie_;
};

class TwoOperators : public console_fixture {
 protected:
  TwoOperators()
      : console_fixture(three_users, [](const temp_dir& data) { data.write("news/data.ini", from_utf8(three_records)); }) {}

  operator_session log_in() {
    auto answer = request("POST", "/api/login", "Host: " + host + "\r\nContent-Type: application/json\r\n",
                          json{{"key", key}}.dump());
    EXPECT_EQ(answer.status, 200);
    return operator_session(port, host, answer);
  }

  std::vector<std::string> logins() {
    std::vector<std::string> shown;
    auto page = with_key("GET", "/api/users", "");
    EXPECT_EQ(page.status, 200) << page.text;
    for (const auto& row : page.body["rows"]) shown.push_back(row["login"]);
    return shown;
  }
};

TEST_F(TwoOperators, EveryPageStateCarriesATagThatFollowsItsRows) {
  for (const char* path : {"/api/server", "/api/log", "/api/settings", "/api/users", "/api/bells", "/api/classrooms",
                           "/api/calendar", "/api/moderation/news", "/api/moderation/notes"}) {
    EXPECT_FALSE(tag_of(with_key("GET", path)).empty()) << path;
  }
  const auto before = tag_of(with_key("GET", "/api/users"));
  EXPECT_EQ(tag_of(with_key("GET", "/api/users")), before) << "reading changes nothing";
  auto sorted = with_key("POST", "/api/users/sort", R"({"by": "full_name"})");
  EXPECT_NE(tag_of(sorted), before) << "another order, another tag";
  EXPECT_EQ(tag_of(sorted), tag_of(with_key("GET", "/api/users"))) << "an action's reply names the page after it";
}

TEST_F(TwoOperators, AStaleModerationDeleteIsRefusedAndTheFileStaysAsItWas) {
  auto a = log_in(), b = log_in();
  auto seen_by_a = a.get("/api/moderation/news");
  ASSERT_EQ(seen_by_a.body["rows"].size(), 3u);
  auto seen_by_b = b.get("/api/moderation/news");
  ASSERT_EQ(b.post("/api/moderation/news/delete", {{"rows", {0}}}, tag_of(seen_by_b)).status, 200);
  const std::string after_b = from_utf8(news_record("rec-1") + "\r\n" + news_record("rec-2") + "\r\n");
  ASSERT_EQ(server.dir().read("news/data.ini"), after_b);

  // A means rec-1, which is row 0 by now.
  auto stale = a.post("/api/moderation/news/delete", {{"rows", {1}}}, tag_of(seen_by_a));
  EXPECT_EQ(stale.status, 412);
  EXPECT_EQ(stale.body["error"], "stale");
  EXPECT_EQ(server.dir().read("news/data.ini"), after_b);

  // A script without If-Match deletes what the index names now.
  EXPECT_EQ(a.post("/api/moderation/news/delete", {{"rows", {1}}}).status, 200);
  EXPECT_EQ(server.dir().read("news/data.ini"), from_utf8(news_record("rec-1") + "\r\n"));
}

TEST_F(TwoOperators, AYesToAStaleDeleteQuestionDeletesNobody) {
  auto a = log_in(), b = log_in();
  const json delete_first = {{"row", 0}};
  auto question = a.post("/api/users/delete", delete_first, tag_of(a.get("/api/users")));
  ASSERT_EQ(question.status, 200);
  ASSERT_FALSE(question.body["question"].is_null());
  EXPECT_NE(question.body["question"]["text"].get<std::string>().find("Яковлев"), std::string::npos);

  ASSERT_EQ(b.post("/api/users/sort", {{"by", "full_name"}}).status, 200);
  auto yes = delete_first;
  yes["answer"] = "yes";
  EXPECT_EQ(a.post("/api/users/delete", yes, tag_of(question)).status, 412);
  EXPECT_EQ(logins(), (std::vector<std::string>{"pupil", "teach", "disp"}));

  // Without If-Match the answer acts on the row as it is now.
  EXPECT_EQ(a.post("/api/users/delete", yes).status, 200);
  EXPECT_EQ(logins(), (std::vector<std::string>{"teach", "disp"}));
}

TEST_F(TwoOperators, AnAnswerWithTheTagOfItsQuestionGoesOn) {
  auto a = log_in();
  auto question = a.post("/api/users/delete", {{"row", 2}}, tag_of(a.get("/api/users")));
  ASSERT_FALSE(question.body["question"].is_null());
  EXPECT_EQ(a.post("/api/users/delete", {{"row", 2}, {"answer", "yes"}}, tag_of(question)).status, 200);
  EXPECT_EQ(logins(), (std::vector<std::string>{"disp", "teach"}));
}

// The operator's thread held by a job that waits for the test: console
// requests queue behind it, yet a client's log-in is answered meanwhile.
TEST_F(TwoOperators, ConsoleRequestsWaitingForTheOperatorHoldUpNoClientLogIn) {
  std::promise<void> entered, release;
  auto held = std::async(std::launch::async, [&] {
    server.call([&, gate = release.get_future().share()](operator_desk&) {
      entered.set_value();
      gate.wait();
    });
  });
  entered.get_future().wait();
  std::vector<std::future<http_answer>> waiting;
  for (int i = 0; i < 4; ++i) {
    waiting.push_back(std::async(std::launch::async, [this] { return with_key("GET", "/api/users"); }));
  }
  for (auto& w : waiting) {
    EXPECT_EQ(w.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout) << "queued behind the job";
  }

  auto client = server.connect();
  client->send("conecDispdisp;d1;\r\n");
  EXPECT_EQ(client->read_bytes(5, std::chrono::seconds(5)), "conec") << "while the operator's thread is held";

  release.set_value();
  held.get();
  for (auto& w : waiting) EXPECT_EQ(w.get().status, 200);
}

}  // namespace
}  // namespace velmira::testing
