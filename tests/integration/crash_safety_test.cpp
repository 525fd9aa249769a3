// The real server killed with SIGKILL in the middle of concurrent writes:
// after a restart every data file parses whole and every write a client saw
// completed is there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "core/data_file.hpp"
#include "core/fields.hpp"
#include "core/text_codec.hpp"
#include "integration/server_fixture.hpp"
#include "integration/server_process.hpp"
#include "users/users_file.hpp"

namespace velmira::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int rounds = 6;

// What the clients saw acknowledged, across all rounds.
struct acknowledged {
  std::mutex mutex;
  std::set<std::string> announcements;
  std::set<std::string> timetables;  // file names under raspisanie/
  int users_version = 0;             // extra rows of the last users.ini acknowledged
};

// Runs `step` again and again on one connection until the server goes away.
template <class Step>
void until_killed(std::uint16_t port, Step step) {
  try {
    line_client c(port);
    for (int i = 0; step(c, i); ++i) {
    }
  } catch (const std::exception&) {
    // The connection ends with the server: that is the point.
  }
}

// The dispatcher and the teacher the writers log in as, and `extra` more.
std::vector<std::string> users_with(int extra) {
  std::vector<std::string> lines = {
      from_utf8(user_line({"1", "Д", "", "Диспетчер", "disp", "d1", "Да", "Нет", "Да"})),
      from_utf8(user_line({"1", "Учитель", "", "Учитель", "teach", "t1", "Да", "Да", "Да"}))};
  for (int i = 1; i <= extra; ++i) {
    lines.push_back(from_utf8(user_line({"1", "У", "", "Учитель", "u" + std::to_string(i), "t1", "Да", "Да", "Да"})));
  }
  return lines;
}

std::string as_payload(const std::vector<std::string>& lines) {
  std::string payload;
  for (const auto& line : lines) payload += line + "|";
  return payload;
}

void drive_writes(std::uint16_t port, int round, acknowledged& seen, const std::atomic<bool>& stop) {
  std::vector<std::thread> clients;
  for (int k = 0; k < 3; ++k) {
    clients.emplace_back([&, k] {
      until_killed(port, [&](line_client& c, int i) {
        if (stop) return false;
        auto id = "r" + std::to_string(round) + "k" + std::to_string(k) + "n" + std::to_string(i);
        c.send("newsSUhitteach\vt1\vimg\v" + id + "\v\r\nzameVUhitteach;t1;\r\n");
        if (c.read_bytes(6, 5s) != "zameV1") return false;
        std::lock_guard lock(seen.mutex);
        seen.announcements.insert(id);
        return true;
      });
    });
  }
  clients.emplace_back([&] {
    until_killed(port, [&](line_client& c, int i) {
      if (stop) return false;
      auto date = std::to_string(i % 28 + 1) + "." + std::to_string(round + 1) + ".24";
      c.send("publlDispdisp\vd1\vШкола;" + date + ";5А$||a$|\r\n");
      std::string ok = "soobsРасписание на " + date + " успешно опубликовано";
      if (c.read_bytes(ok.size(), 5s) != ok) return false;
      std::lock_guard lock(seen.mutex);
      seen.timetables.insert(date + ".ini2");
      return true;
    });
  });
  clients.emplace_back([&] {
    until_killed(port, [&](line_client& c, int i) {
      if (stop) return false;
      int extra = round * 100 + i % 100 + 1;
      c.send("settiAdmiusers.ini;admin;adminpw;" + to_utf8(as_payload(users_with(extra))) + "^\r\n");
      std::string ok = "soobsСписок пользователей по удаленному доступу успешно передан.";
      if (c.read_bytes(ok.size(), 5s) != ok) return false;
      std::lock_guard lock(seen.mutex);
      seen.users_version = extra;
      return true;
    });
  });
  for (auto& t : clients) t.join();
}

void expect_whole_files(const temp_dir& dir, const acknowledged& seen) {
  auto news = read_lines(dir.path() / "news" / "data.ini").value_or(std::vector<std::string>{});
  std::set<std::string> stored;
  for (const auto& line : news) {
    ASSERT_EQ(std::count(line.begin(), line.end(), '\v'), 8) << "broken record: " << to_utf8(line);
    std::string_view rest = line;
    while (!rest.empty()) stored.emplace(cut_field(rest, '\v'));
  }
  for (const auto& id : seen.announcements) EXPECT_TRUE(stored.count(id)) << "lost announcement " << id;

  for (const auto& name : seen.timetables) {
    auto lines = read_lines(dir.path() / "raspisanie" / name);
    ASSERT_TRUE(lines) << "lost timetable " << name;
    EXPECT_THAT(*lines, ::testing::ElementsAre(from_utf8("rasp||Школа||1||1||5А$||a$|")));
  }
  auto info = read_lines(dir.path() / "raspisanie" / "info.ini");
  if (info) {
    EXPECT_EQ(info->size(), 1u);
  }

  // The last acknowledged push, or a later one the kill cut short of its reply.
  auto users = parse_users(read_file(dir.path() / "users.ini").value_or(""));
  EXPECT_GE(static_cast<int>(users.size()), seen.users_version + 2) << "an acknowledged users push was lost";
  for (const auto& row : users) EXPECT_EQ(row[user_column::may_publish_notes], from_utf8("Да")) << "torn users row";
}

TEST(CrashSafety, KilledServerKeepsEveryAcknowledgedWriteWhole) {
  temp_dir dir;
  auto settings = running_server::settings_lines(free_port(), free_port());
  settings[29] = "1";
  settings[30] = "admin";
  settings[31] = "adminpw";
  dir.write("setting.ini", join_lines(settings));
  dir.write("users.ini", join_lines(users_with(0)));
  auto tcp_port = static_cast<std::uint16_t>(std::stoi(settings[1]));

  acknowledged seen;
  std::mt19937 random(20241205);
  for (int round = 0; round < rounds; ++round) {
    server_process server(dir);
    ASSERT_NE(server.output_until(": запуск TCP сервера ...").find("запуск TCP"), std::string::npos);
    std::atomic<bool> stop{false};
    std::thread writers([&] { drive_writes(tcp_port, round, seen, stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 400));  // the kill's random moment
    server.signal(SIGKILL);
    EXPECT_EQ(server.wait_exit(), 128 + SIGKILL) << server.output_so_far();
    stop = true;
    writers.join();
    expect_whole_files(dir, seen);
  }
  RecordProperty("announcements", static_cast<int>(seen.announcements.size()));
  RecordProperty("timetables", static_cast<int>(seen.timetables.size()));
  EXPECT_GT(seen.announcements.size(), 0u);
  EXPECT_GT(seen.timetables.size(), 0u);
  EXPECT_GT(seen.users_version, 0);
}

}  // namespace
}  // namespace velmira::testing
