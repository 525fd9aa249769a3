#include <gtest/gtest.h>

#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.hpp"
#include "core/event_log.hpp"

namespace velmira {
namespace {

class EventLog : public ::testing::Test {
 protected:
  manual_clock clock{make_local(2023, 12, 25, 9, 5, 7)};
  log_switches switches;
  std::vector<std::string> echoed;
  event_log log{clock, switches, [this](std::string_view line) { echoed.emplace_back(line); }};

  void fill(int count) {
    for (int i = 1; i <= count; ++i) log.append(": line " + std::to_string(i));
  }
};

TEST_F(EventLog, LineIsBracketedDateThenTimeThenText) {
  log.append(": HTTP сервер остановлен");
  clock.set(make_local(2024, 1, 2, 14, 30, 0));
  log.append(": TCP сервер остановлен");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"[25.12.2023] 9:05:07: HTTP сервер остановлен",
                                                   "[02.01.2024] 14:30:00: TCP сервер остановлен"}));
}

TEST_F(EventLog, CategoryLineFollowsItsSwitchAtTheMomentOfTheEvent) {
  log.append(log_category::news_views, ": просмотр новостей");
  EXPECT_EQ(log.size(), 0u);

  switches.set(log_category::news_views, true);
  log.append(log_category::news_views, ": просмотр новостей");
  // Another category's switch stays off.
  log.append(log_category::notes_views, ": просмотр заметок");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"[25.12.2023] 9:05:07: просмотр новостей"}));

  switches.set(log_category::news_views, false);
  log.append(log_category::news_views, ": просмотр новостей");
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(EventLog, EverySwitchGuardsOnlyItsOwnCategory) {
  for (int line = first_log_switch_line; line < first_log_switch_line + log_switch_count; ++line) {
    auto category = static_cast<log_category>(line);
    log.clear();
    switches.set(category, true);
    for (int other = first_log_switch_line; other < first_log_switch_line + log_switch_count; ++other) {
      log.append(static_cast<log_category>(other), ": event " + std::to_string(other));
    }
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[25.12.2023] 9:05:07: event " + std::to_string(line)}))
        << "switch line " << line;
    switches.set(category, false);
  }
}

TEST_F(EventLog, EventGetsTheTextPrefixAndFollowsItsSwitch) {
  log.append_event("запуск TCP сервера ...");
  log.append_event(log_category::menu_views, "просмотр меню");
  switches.set(log_category::menu_views, true);
  log.append_event(log_category::menu_views, "просмотр меню");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"[25.12.2023] 9:05:07: запуск TCP сервера ...",
                                                   "[25.12.2023] 9:05:07: просмотр меню"}));
}

TEST_F(EventLog, MoreThanAHundredLinesAreReplacedByTheClearedLine) {
  fill(101);
  clock.set(make_local(2023, 12, 25, 10, 0, 1));
  log.clear_if_over_request_threshold();
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"Очищено 25.12.2023 в 10:00:01"}));
  log.append(": после очистки");
  EXPECT_EQ(log.size(), 2u);
  EXPECT_EQ(log.lines().back(), "[25.12.2023] 10:00:01: после очистки");
}

TEST_F(EventLog, AHundredLinesAreLeftAlone) {
  fill(100);
  auto before = log.lines();
  log.clear_if_over_request_threshold();
  EXPECT_EQ(log.lines(), before);
}

TEST_F(EventLog, OperatorClearWritesNothing) {
  fill(3);
  log.clear();
  EXPECT_EQ(log.size(), 0u);
  log.append(": TCP сервер остановлен");
  log.append(": HTTP сервер остановлен");
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(EventLog, HardCapDropsTheOldestLines) {
  const int total = static_cast<int>(event_log::max_lines) + 5;
  fill(total);
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), event_log::max_lines);
  EXPECT_EQ(lines.front(), "[25.12.2023] 9:05:07: line 6");
  EXPECT_EQ(lines.back(), "[25.12.2023] 9:05:07: line " + std::to_string(total));
}

TEST_F(EventLog, EchoReceivesEveryLineInOrder) {
  fill(101);
  log.clear_if_over_request_threshold();
  log.append(log_category::game_creation, ": создана игра");  // switch off: not a line
  log.append(": запуск TCP сервера ...");
  ASSERT_EQ(echoed.size(), 103u);
  EXPECT_EQ(echoed[0], "[25.12.2023] 9:05:07: line 1");
  EXPECT_EQ(echoed[100], "[25.12.2023] 9:05:07: line 101");
  EXPECT_EQ(echoed[101], "Очищено 25.12.2023 в 9:05:07");
  EXPECT_EQ(echoed[102], "[25.12.2023] 9:05:07: запуск TCP сервера ...");
}

TEST(EventLogThreads, ConcurrentAppendsKeepEveryLineWhole) {
  manual_clock clock{make_local(2023, 12, 25, 9, 5, 7)};
  log_switches switches;
  switches.set(log_category::timetable_views, true);
  std::vector<std::string> echoed;  // the log calls its echo under its own lock
  event_log log{clock, switches, [&](std::string_view line) { echoed.emplace_back(line); }};

  constexpr int threads = 8;
  constexpr int per_thread = 1000;
  // Released together so that the appends really overlap.
  std::latch start(threads);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int i = 0; i < per_thread; ++i) {
        auto text = ": просмотр расписания на " + std::to_string(t) + "." + std::to_string(i) +
                    std::string(50, 'x');
        if (i % 2 == 0) {
          log.append(text);
        } else {
          log.append(log_category::timetable_views, text);
        }
      }
    });
  }
  for (auto& w : workers) w.join();

  std::set<std::string> expected;
  for (int t = 0; t < threads; ++t) {
    for (int i = 0; i < per_thread; ++i) {
      expected.insert("[25.12.2023] 9:05:07: просмотр расписания на " + std::to_string(t) + "." +
                      std::to_string(i) + std::string(50, 'x'));
    }
  }
  auto lines = log.lines();
  EXPECT_EQ(lines.size(), expected.size());
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expected);
  EXPECT_EQ(echoed, lines);
}

}  // namespace
}  // namespace velmira
