// Publications and announcements through real connections: the dispatcher's
// whole path, the summary across a listener restart, and concurrent adds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "integration/server_fixture.hpp"

namespace velmira::testing {
namespace {

const std::string users = user_line({"1", "Диспетчер", "", "Диспетчер", "disp", "d1", "Нет", "Нет", "Нет"}) +
                          "\r\n" +
                          user_line({"1", "Учитель", "", "Учитель", "teach", "t1", "Да", "Да", "Да"}) + "\r\n";

std::string text_file(const running_server& s, const std::string& path) { return to_utf8(s.dir().read(path)); }

TEST(Publication, DispatcherPublishesAndWithdrawsATimetable) {
  running_server s(users);
  auto c = s.connect();
  c->send("publlDispdisp\vd1\vШкола;5.9.2023;5А$||a$|\r\n");
  std::string published = "soobsРасписание на 5.9.23 успешно опубликовано";
  EXPECT_EQ(c->read_bytes(published.size()), published);
  EXPECT_EQ(text_file(s, "raspisanie/5.9.23.ini2"), "rasp||Школа||1||1||5А$||a$|\r\n");

  c->send("pubdeDispdisp\vd1\v5.9.2023\r\n");
  std::string withdrawn = "soobsПубликация расписания на 5.9.23 успешно отменена";
  EXPECT_EQ(c->read_bytes(withdrawn.size()), withdrawn);
  EXPECT_FALSE(s.dir().exists("raspisanie/5.9.23.ini2"));
}

TEST(Publication, TeacherCredentialsWithTheDispatcherCodeAreRefused) {
  running_server s(users);
  auto c = s.connect();
  c->send("publlDispteach\vt1\vШкола;5.9.2023;5А$||a$|\r\n");
  EXPECT_EQ(c->read_bytes(5), "error");
  EXPECT_FALSE(s.dir().exists("raspisanie/5.9.23.ini2"));
}

TEST(Publication, ListenerRestartClearsTheTimetableValuesOfTheSummary) {
  running_server s(users);
  auto c = s.connect();
  c->send("publlDispdisp\vd1\vШкола;5.9.2023;5А$||a$|\r\n");
  std::string published = "soobsРасписание на 5.9.23 успешно опубликовано";
  ASSERT_EQ(c->read_bytes(published.size()), published);
  auto before = split_lines(s.dir().read("raspisanie/info.ini"));
  ASSERT_EQ(before.size(), 1u);
  EXPECT_THAT(to_utf8(before[0]), ::testing::StartsWith("05.09.2024$10:00:00$"));

  s.call([](operator_desk& d) { d.ServerStop(); });
  s.call([](operator_desk& d) { d.ServerStart(); });
  // The file keeps its values until the next write; the next one no longer
  // carries the timetable.
  auto c2 = s.connect();
  c2->send("publlStoldisp\vd1\vШкола;6.9.2024;1;menu~end~\r\n");  // refused: not the canteen
  ASSERT_EQ(c2->read_bytes(5), "error");
  c2->send("newsSUhitteach\vt1\vimg\vПривет\v\r\n");
  c2->send("zameVUhitteach;t1;\r\n");
  ASSERT_EQ(c2->read_bytes(6), "zameV1");
  auto after = split_lines(s.dir().read("raspisanie/info.ini"));
  ASSERT_EQ(after.size(), 1u);
  EXPECT_THAT(to_utf8(after[0]), ::testing::StartsWith("$$$"));
}

TEST(Announcements, ConcurrentAddsKeepEveryRecordWhole) {
  running_server s(users);
  constexpr int clients = 16, adds_each = 10;
  std::vector<std::thread> threads;
  for (int t = 0; t < clients; ++t) {
    threads.emplace_back([&s, t] {
      auto c = s.connect();
      for (int i = 0; i < adds_each; ++i) {
        c->send("newsSUhitteach\vt1\vimg\vзапись " + std::to_string(t) + "-" + std::to_string(i) + "\v\r\n");
      }
      // A request with a reply after the adds: they are all stored by then.
      c->send("zameVUhitteach;t1;\r\n");
      EXPECT_EQ(c->read_bytes(6), "zameV1");
    });
  }
  for (auto& t : threads) t.join();

  auto lines = split_lines(s.dir().read("news/data.ini"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(clients * adds_each));
  for (const auto& line : lines) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '\v'), 8) << to_utf8(line);
  }
  for (int t = 0; t < clients; ++t) {
    for (int i = 0; i < adds_each; ++i) {
      auto text = "запись " + std::to_string(t) + "-" + std::to_string(i);
      bool found = std::any_of(lines.begin(), lines.end(),
                               [&](const std::string& l) { return to_utf8(l).find(text + "\v") != std::string::npos; });
      EXPECT_TRUE(found) << text;
    }
  }
}

}  // namespace
}  // namespace velmira::testing
