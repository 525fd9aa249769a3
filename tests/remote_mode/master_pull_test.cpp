#include "remote_mode/master_pull.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <filesystem>
#include <thread>

#include "core/text_codec.hpp"
#include "remote_mode/http_fetch.hpp"
#include "remote_mode/http_fetch_test_server.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

using testing::canned_answer;
using testing::canned_http_server;

std::string cp(std::string_view utf8) { return from_utf8(utf8); }

const std::string unreachable_tail =
    ". Проверьте адрес (порт) сервера в настройках или попрорбуйте позже.";
const std::string absent_tail = ". Файл отсутствует на сервере.";

TEST(JudgeStep, ErrorEmptyRefusalAndText) {
  struct case_t {
    std::string marker;
    bool empty_is_success;
    step_verdict expected;
  };
  const case_t cases[] = {
      {"*error*", false, step_verdict::unreachable},
      {"*error*", true, step_verdict::unreachable},
      {"", false, step_verdict::absent},
      {"", true, step_verdict::stored},
      {"<HTML><BODY>401</BODY></HTML>", false, step_verdict::absent},
      {"<HTML><BODY>401</BODY></HTML>", true, step_verdict::absent},
      {"[main]\r\nkey=1\r\n", false, step_verdict::stored},
      {"{\\rtf1 x}", true, step_verdict::stored},
      {" <HTML>", false, step_verdict::stored},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(judge_step(c.marker, c.empty_is_success), c.expected)
        << "'" << c.marker << "' " << c.empty_is_success;
  }
}

TEST(StepLogText, NamesTheSubjectAndTheCause) {
  const auto& classrooms = pull_steps()[2];
  EXPECT_EQ(step_log_text(classrooms, step_verdict::stored), "Список кабинетов получен.");
  EXPECT_EQ(step_log_text(classrooms, step_verdict::unreachable),
            "Не удается получить список кабинетов. Проверьте адрес (порт) сервера в настройках "
            "или попрорбуйте позже.");
  EXPECT_EQ(step_log_text(classrooms, step_verdict::absent),
            "Не удается получить список кабинетов. Файл отсутствует на сервере.");
}

TEST(StepPath, CredentialsFilesCarryTheAdministrationLogin) {
  master_source source{"master", 80, cp("Завуч"), "p;w", "", ""};
  EXPECT_EQ(step_path(pull_steps()[0], source), cp("/^Завуч;p;w^setting.ini"));
  EXPECT_EQ(step_path(pull_steps()[1], source), cp("/^Завуч;p;w^users.ini"));
  EXPECT_EQ(step_path(pull_steps()[4], source), "/kalendgraf.rtf");
}

TEST(ScheduleNames, TenLinesAfterTheSixHeaderLinesSkippingBlanks) {
  std::vector<std::string> lines = {"h1", "h2", "h3", "h4", "h5", "h6"};
  EXPECT_TRUE(schedule_names(lines).empty());
  EXPECT_TRUE(schedule_names({"h1", "h2", "h3"}).empty());

  lines.insert(lines.end(), {cp("Основной"), "", "Short", "", "", "Saturday", "", "", "", "Tenth",
                             "Eleventh", "Twelfth"});
  EXPECT_EQ(schedule_names(lines),
            (std::vector<std::string>{cp("Основной"), "Short", "Saturday", "Tenth"}));
}

TEST(ScheduleNames, NamesThatWouldLeaveTheRemoteFolderAreLeftOut) {
  std::vector<std::string> lines = {"h1", "h2", "h3", "h4", "h5", "h6",
                                    "..\\setting", "a/b", "ok", "c:d"};
  EXPECT_EQ(schedule_names(lines), (std::vector<std::string>{"ok"}));
}

TEST(ScheduleNames, NamesOfTheCopiesThePullKeepsBesideTheSchedulesAreLeftOut) {
  const std::vector<std::string> lines = {"h1", "h2", "h3", "h4", "h5", "h6", "users", "Short",
                                          "KAB", "Setting", "news", "zaMetki", "kalendgraf", "users2"};
  EXPECT_EQ(schedule_names(lines), (std::vector<std::string>{"Short", "kalendgraf", "users2"}));
  EXPECT_EQ(left_out_schedule_names(lines),
            (std::vector<std::string>{"users", "KAB", "Setting", "news", "zaMetki"}));
}

TEST(StoreRemoteCopy, WritesTextPlusCrLfUnderRemote) {
  testing::temp_dir dir;
  data_directory data(dir.path());
  store_remote_copy(data, cp("Основной.ini"), "a\r\nb\r\n");
  EXPECT_EQ(dir.read("remote/Основной.ini"), "a\r\nb\r\n\r\n");
  store_remote_copy(data, "kalendgraf.rtf", "");
  EXPECT_EQ(dir.read("remote/kalendgraf.rtf"), "\r\n");
}

TEST(StoreRemoteCopy, TheCopiesThatHoldPasswordsAreForTheOwnerOnly) {
  testing::temp_dir dir;
  data_directory data(dir.path());
  for (const char* name : {"users.ini", "setting.ini", "kab.ini"}) store_remote_copy(data, name, "x");
  auto mode = [&](const char* name) { return std::filesystem::status(dir.path() / "remote" / name).permissions(); };
  EXPECT_EQ(mode("users.ini"), static_cast<std::filesystem::perms>(0600));
  EXPECT_EQ(mode("setting.ini"), static_cast<std::filesystem::perms>(0600));
  EXPECT_EQ(mode("kab.ini"), static_cast<std::filesystem::perms>(0644));
}

// Runs a whole pull against `port` with an owner that records what it was
// told, in order, and whether it was told on the operator's thread: a
// context of its own, as in the server.
struct pull_run : pull_owner {
  testing::temp_dir dir;
  std::vector<std::string> events;
  int calls_off_the_operator = 0;

  void run(std::uint16_t port) {
    boost::asio::io_context operator_context;
    auto operator_work = boost::asio::make_work_guard(operator_context);
    std::thread operator_thread([&] { operator_context.run(); });
    operator_ = &operator_context;
    boost::asio::io_context io;
    start_master_pull(io, operator_context.get_executor(), {"127.0.0.1", port, "admin", "secret", "web", "pass"},
                      data_directory(dir.path()), *this);
    io.run();
    operator_work.reset();
    operator_thread.join();
  }

  void progress(int step, int total) override {
    record("step " + std::to_string(step) + "/" + std::to_string(total));
  }
  void log(std::string_view utf8) override { record("log " + std::string(utf8)); }
  void reload(pull_followup what) override {
    static const char* const names[] = {"settings", "users", "classrooms", "bells", "calendar", "none"};
    record(names[static_cast<int>(what)]);
  }
  void classrooms_missing() override { record("classrooms emptied"); }
  void finished() override { record("finished"); }

  void record(std::string event) {
    if (!operator_->get_executor().running_in_this_thread()) ++calls_off_the_operator;
    events.push_back(std::move(event));
  }

  std::vector<std::string> logs() const {
    std::vector<std::string> lines;
    for (const auto& e : events) {
      if (e.starts_with("log ")) lines.push_back(e.substr(4));
    }
    return lines;
  }

  boost::asio::io_context* operator_ = nullptr;

  std::size_t remote_files() const {
    if (!std::filesystem::exists(dir.path() / "remote")) return 0;
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path() / "remote")) {
      ++count;
    }
    return count;
  }
};

const std::string bell_list =
    "6\r\n1\r\n2\r\n3\r\n4\r\n5\r\n"  // six header lines
    "Основной\r\n\r\nShort\r\n\r\nHoliday\r\n";
const std::string schedule_target_main =
    "/zvonok/%D0%9E%D1%81%D0%BD%D0%BE%D0%B2%D0%BD%D0%BE%D0%B9.ini";

TEST(MasterPull, StoresEveryFileRunsFollowUpsAndLogsInOrder) {
  canned_http_server server({
      {"/^admin;secret^setting.ini", {200, "text/plain", "[settings]\r\n"}},
      {"/^admin;secret^users.ini", {200, "text/plain", "users\r\n"}},
      {"/raspisanie/kab.ini", {200, "text/plain", "101\r\n102\r\n"}},
      {"/zvonok/spisok.ini", {200, "text/plain; charset=utf-8", bell_list}},
      {schedule_target_main, {200, "text/plain; charset=utf-8", "Урок 1\r\n"}},
      {"/zvonok/Short.ini", {200, "text/plain", "short\r\n"}},
      // Holiday.ini is missing on the master: stored empty all the same.
      {"/kalendgraf.rtf", {200, "application/rtf", "{\\rtf1 }"}},
      {"/zametki/data.ini", {200, "text/plain", "note\r\n"}},
      {"/news/data.ini", {200, "text/plain", "news\r\n"}},
  });
  pull_run pull;
  pull.run(server.port());

  const std::vector<std::string> expected = {
      "step 1/7", "settings",   "log Настройки сервера получены.",
      "step 2/7", "users",      "log Данные пользователей получены.",
      "step 3/7", "classrooms", "log Список кабинетов получен.",
      "step 4/7", "bells",      "log Расписание звонков получено.",
      "step 5/7", "calendar",   "log Календарный график получен.",
      "step 6/7", "log Заметки получены.",
      "step 7/7", "log Объявления получены.",
      "finished",
  };
  EXPECT_EQ(pull.events, expected);
  EXPECT_EQ(pull.calls_off_the_operator, 0);

  const auto& dir = pull.dir;
  EXPECT_EQ(dir.read("remote/setting.ini"), "[settings]\r\n\r\n");
  EXPECT_EQ(dir.read("remote/users.ini"), "users\r\n\r\n");
  EXPECT_EQ(dir.read("remote/kab.ini"), "101\r\n102\r\n\r\n");
  EXPECT_EQ(dir.read("remote/spisok.ini"), cp(bell_list) + "\r\n");
  EXPECT_EQ(dir.read("remote/kalendgraf.rtf"), "{\\rtf1 }\r\n");
  EXPECT_EQ(dir.read("remote/zametki.ini"), "note\r\n\r\n");
  EXPECT_EQ(dir.read("remote/news.ini"), "news\r\n\r\n");
  EXPECT_EQ(dir.read("remote/Основной.ini"), cp("Урок 1\r\n") + "\r\n");
  EXPECT_EQ(dir.read("remote/Short.ini"), "short\r\n\r\n");
  EXPECT_EQ(dir.read("remote/Holiday.ini"), "\r\n");
  EXPECT_EQ(pull.remote_files(), 10u);

  std::vector<std::string> targets;
  for (const auto& request : server.requests()) {
    targets.push_back(request.target);
    EXPECT_EQ(request.authorization, basic_authorization("web", "pass"));
  }
  const std::vector<std::string> expected_targets = {
      "/^admin;secret^setting.ini", "/^admin;secret^users.ini", "/raspisanie/kab.ini",
      "/zvonok/spisok.ini",         schedule_target_main,       "/zvonok/Short.ini",
      "/zvonok/Holiday.ini",        "/kalendgraf.rtf",          "/zametki/data.ini",
      "/news/data.ini",
  };
  EXPECT_EQ(targets, expected_targets);
}

TEST(MasterPull, ASchedulesNamedAfterACopyIsNeitherFetchedNorStoredButLogged) {
  const std::string list = "6\r\n1\r\n2\r\n3\r\n4\r\n5\r\nusers\r\nShort\r\nKab\r\n";
  canned_http_server server({
      {"/^admin;secret^users.ini", {200, "text/plain", "1$Teacher$\r\n"}},
      {"/raspisanie/kab.ini", {200, "text/plain", "101\r\n"}},
      {"/zvonok/spisok.ini", {200, "text/plain", list}},
      {"/zvonok/users.ini", {200, "text/plain", "a schedule\r\n"}},
      {"/zvonok/Short.ini", {200, "text/plain", "short\r\n"}},
      {"/zvonok/Kab.ini", {200, "text/plain", "a schedule\r\n"}},
  });
  pull_run pull;
  pull.run(server.port());

  EXPECT_EQ(pull.dir.read("remote/users.ini"), "1$Teacher$\r\n\r\n");
  EXPECT_EQ(pull.dir.read("remote/kab.ini"), "101\r\n\r\n");
  EXPECT_EQ(pull.dir.read("remote/Short.ini"), "short\r\n\r\n");
  EXPECT_FALSE(pull.dir.exists("remote/Kab.ini"));
  for (const auto& request : server.requests()) {
    EXPECT_NE(request.target, "/zvonok/users.ini");
    EXPECT_NE(request.target, "/zvonok/Kab.ini");
  }
  const auto logs = pull.logs();
  const auto bells = std::find(logs.begin(), logs.end(), "Расписание звонков получено.");
  ASSERT_NE(bells, logs.end());
  const std::vector<std::string> left_out = {
      "Расписание звонков \"users\" не получено: так называется файл сервера в папке remote.",
      "Расписание звонков \"Kab\" не получено: так называется файл сервера в папке remote."};
  EXPECT_EQ(std::vector<std::string>(bells - 2, bells), left_out);
}

TEST(MasterPull, RefusalPageCountsAsAbsentEverywhereAndStoresNothing) {
  canned_http_server server({}, {200, "text/html", "<HTML><BODY>Access denied</BODY></HTML>"});
  pull_run pull;
  pull.dir.write("remote/setting.ini", "old settings\r\n");
  pull.run(server.port());

  const std::vector<std::string> expected = {
      "Не удается получить настройки сервера" + absent_tail,
      "Не удается получить данные пользователей" + absent_tail,
      "Не удается получить список кабинетов" + absent_tail,
      "Не удается получить расписание звонков" + absent_tail,
      "Не удается получить календарный график" + absent_tail,
      "Не удается получить заметки" + absent_tail,
      "Не удается получить объявления" + absent_tail,
  };
  EXPECT_EQ(pull.logs(), expected);
  EXPECT_EQ(pull.dir.read("remote/setting.ini"), "old settings\r\n");
  EXPECT_EQ(pull.remote_files(), 1u);
  EXPECT_EQ(server.requests().size(), 7u);
  for (const char* follow_up : {"settings", "users", "classrooms", "bells", "calendar"}) {
    EXPECT_EQ(std::count(pull.events.begin(), pull.events.end(), follow_up), 0) << follow_up;
  }
  EXPECT_EQ(std::count(pull.events.begin(), pull.events.end(), "classrooms emptied"), 1);
  EXPECT_EQ(pull.events.back(), "finished");
}

TEST(MasterPull, UnreachableMasterLogsEveryStepAndEmptiesClassrooms) {
  pull_run pull;
  pull.run(testing::unused_loopback_port());

  const std::vector<std::string> subjects = {
      "настройки сервера", "данные пользователей", "список кабинетов", "расписание звонков",
      "календарный график", "заметки", "объявления"};
  std::vector<std::string> expected;
  for (const auto& subject : subjects) {
    expected.push_back("Не удается получить " + subject + unreachable_tail);
  }
  EXPECT_EQ(pull.logs(), expected);
  EXPECT_EQ(pull.remote_files(), 0u);
  EXPECT_EQ(std::count(pull.events.begin(), pull.events.end(), "classrooms emptied"), 1);
  EXPECT_EQ(pull.events.back(), "finished");
}

TEST(MasterPull, EmptyCalendarIsStoredWhileOtherEmptyFilesAreAbsent) {
  canned_http_server server({
      {"/raspisanie/kab.ini", {200, "text/plain", "101\r\n"}},
      {"/news/data.ini", {200, "text/plain", "\n"}},  // an empty file on the master
  });
  pull_run pull;
  pull.run(server.port());

  const std::vector<std::string> expected = {
      "Не удается получить настройки сервера" + absent_tail,
      "Не удается получить данные пользователей" + absent_tail,
      "Список кабинетов получен.",
      "Не удается получить расписание звонков" + absent_tail,
      "Календарный график получен.",
      "Не удается получить заметки" + absent_tail,
      "Не удается получить объявления" + absent_tail,
  };
  EXPECT_EQ(pull.logs(), expected);
  EXPECT_EQ(pull.dir.read("remote/kalendgraf.rtf"), "\r\n");
  EXPECT_EQ(pull.dir.read("remote/kab.ini"), "101\r\n\r\n");
  EXPECT_FALSE(pull.dir.exists("remote/news.ini"));
  EXPECT_EQ(pull.remote_files(), 2u);
  // Without a bell list no schedule is asked for.
  EXPECT_EQ(server.requests().size(), 7u);
  EXPECT_EQ(std::count(pull.events.begin(), pull.events.end(), "calendar"), 1);
  EXPECT_EQ(std::count(pull.events.begin(), pull.events.end(), "classrooms emptied"), 0);
}

}  // namespace
}  // namespace velmira
