#include "maintenance/housekeeping.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/settings_page.hpp"
#include "core/text_codec.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

class Housekeeping : public ::testing::Test {
 protected:
  Housekeeping() { data.create_tree(); }

  void tick_at(local_seconds t) {
    clock.set(t);
    keeper.tick();
  }

  // The whole log line the text makes at the clock's current moment.
  std::string logged(std::string_view text) const {
    return "[" + date_text(clock.now()) + "] " + time_text(clock.now()) + std::string(text);
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  manual_clock clock{make_local(2024, 3, 5, 10, 0, 30)};
  settings_page settings;
  server_page page;
  event_log log{clock, settings.log};
  std::vector<local_seconds> expired_at;
  housekeeping keeper{data, settings, page,
                      [this](local_seconds now) {
                        expired_at.push_back(now);
                        return 3;
                      },
                      log, clock};
};

// ---------------------------------------------------------------- rooms

TEST_F(Housekeeping, ShowsHowManyRoomsTheExpiryFoundInUseAtTheTicksMoment) {
  page.game_counter_text = "stale";
  tick_at(make_local(2024, 3, 5, 10, 4, 0));
  EXPECT_EQ(page.game_counter_text, "3 игр активно");
  EXPECT_EQ(expired_at, std::vector<local_seconds>{make_local(2024, 3, 5, 10, 4, 0)});
}

// ---------------------------------------------------------------- purges

constexpr const char* crlf = "\r\n";

// A record line as the announcement and note commands write it.
std::string record(const std::string& date, std::string_view text_utf8 = "текст") {
  std::string line;
  for (const std::string& field :
       {date, std::string("12:00:00"), std::string("706F"), std::string("7077"), from_utf8("Петрова Анна"),
        from_utf8("Учитель"), from_utf8(text_utf8), std::string("#ff008000")}) {
    line += field + "\v";
  }
  return line;
}

std::string lines(const std::vector<std::string>& records) {
  std::string text;
  for (const auto& r : records) text += r + crlf;
  return text;
}

class ContentPurge : public Housekeeping {};

local_seconds purge_moment(int year, unsigned month, unsigned day) { return make_local(year, month, day, 0, 5, 0); }

struct announcement_age_case {
  int age_index;
  std::string kept_date;
  std::string removed_date;
  std::string log_text;
};

TEST_F(ContentPurge, AnnouncementsOlderThanTheMonthCountGoOnTheirBoundary) {
  const std::vector<announcement_age_case> cases = {
      {0, "01.03.2024", "28.02.2024", ": удалены объявления старше 1 месяца"},
      {2, "01.01.2024", "31.12.2023", ": удалены объявления старше 3 месяцев"},
      {5, "03.10.2023", "02.10.2023", ": удалены объявления старше 6 месяцев"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log_text);
    settings.purge_news.tick();
    settings.purge_news.select(c.age_index);
    dir.write("news/data_tmp.ini", "left from an earlier night");
    dir.write("news/data.ini", lines({record(c.removed_date), record(c.kept_date), record("31.03.2024")}));

    tick_at(purge_moment(2024, 3, 31));
    EXPECT_EQ(dir.read("news/data.ini"), lines({record(c.kept_date), record("31.03.2024")}));
    EXPECT_FALSE(dir.exists("news/data_tmp.ini"));
    EXPECT_EQ(log.lines().back(), logged(c.log_text));
  }
}

TEST_F(ContentPurge, AnAnnouncementFileWithNothingOldIsRewrittenWithoutALogLine) {
  settings.purge_news.tick();
  dir.write("news/data.ini", record("01.03.2024") + "\n" + record("31.03.2024"));
  tick_at(purge_moment(2024, 3, 31));
  EXPECT_EQ(dir.read("news/data.ini"), lines({record("01.03.2024"), record("31.03.2024")}));
  EXPECT_EQ(log.size(), 0u);
}

struct empty_line_case {
  std::string first_date;
  bool first_stays;
};

TEST_F(ContentPurge, AnEmptySecondLineEndsTheFileAndOnlyARemovedFirstLineIsLogged) {
  settings.purge_news.tick();
  for (const auto& c : std::vector<empty_line_case>{{"30.03.2024", true}, {"01.01.2024", false}}) {
    SCOPED_TRACE(c.first_date);
    log.clear();
    dir.write("news/data.ini", lines({record(c.first_date), "", record("31.03.2024")}));
    tick_at(purge_moment(2024, 3, 31));
    if (c.first_stays) {
      EXPECT_EQ(dir.read("news/data.ini"), lines({record(c.first_date)}));
      EXPECT_EQ(log.size(), 0u);
    } else {
      EXPECT_FALSE(dir.exists("news/data.ini"));
      EXPECT_EQ(dir.read("news/data_tmp.ini"), "");
      EXPECT_EQ(log.lines(), std::vector<std::string>{logged(": удалены объявления старше 1 месяца")});
    }
  }
}

TEST_F(ContentPurge, AnnouncementFileWithAnEmptyFirstLineIsDeletedSilently) {
  settings.purge_news.tick();
  dir.write("news/data.ini", lines({"", record("01.01.2020")}));
  tick_at(purge_moment(2024, 3, 31));
  EXPECT_FALSE(dir.exists("news/data.ini"));
  EXPECT_EQ(dir.read("news/data_tmp.ini"), "");
  EXPECT_EQ(log.size(), 0u);
}

TEST_F(ContentPurge, NotesAllOlderThanTodayLeaveOnlyAnEmptyTemporaryFile) {
  settings.purge_notes = true;
  dir.write("zametki/data.ini", lines({record("29.03.2024"), record("30.03.2024")}));
  tick_at(purge_moment(2024, 3, 31));
  EXPECT_FALSE(dir.exists("zametki/data.ini"));
  EXPECT_EQ(dir.read("zametki/data_tmp.ini"), "");
  EXPECT_EQ(log.lines(), std::vector<std::string>{"[31.03.2024] 0:05:00: удалены заметки старше 1 дня"});
}

TEST_F(ContentPurge, NotesOfTodayAndLaterStay) {
  settings.purge_notes = true;
  dir.write("zametki/data.ini", lines({record("30.03.2024"), record("31.03.2024"), record("5.4.24", "завтра")}));
  tick_at(purge_moment(2024, 3, 31));
  EXPECT_EQ(dir.read("zametki/data.ini"), lines({record("31.03.2024"), record("5.4.24", "завтра")}));
  EXPECT_FALSE(dir.exists("zametki/data_tmp.ini"));
  EXPECT_EQ(log.lines().back(), logged(": удалены заметки старше 1 дня"));
}

TEST_F(ContentPurge, RecordsWhoseDateCannotBeReadAreKeptReportedAndTheRestIsPurged) {
  settings.purge_notes = true;
  settings.purge_timetables.tick();
  const auto bad_calendar = record("31.02.2024");
  const auto bad_text = record(from_utf8("вчера"));
  const auto no_fields = std::string("no separator at all");
  dir.write("zametki/data.ini", lines({bad_calendar, record("01.01.2024"), bad_text, no_fields}));
  dir.write("raspisanie/01.01.24.ini2", "old\r\n");

  tick_at(purge_moment(2024, 3, 31));
  EXPECT_EQ(dir.read("zametki/data.ini"), lines({bad_calendar, bad_text, no_fields}));
  EXPECT_FALSE(dir.exists("raspisanie/01.01.24.ini2")) << "later purges still run";
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             logged(": удалены заметки старше 1 дня"),
                             logged(": в zametki\\data.ini оставлено записей с нечитаемой датой: 3, например "
                                    "\"31.02.2024\""),
                             logged(": удалено расписание старше 1 месяца"),
                         }));
}

struct timetable_case {
  local_seconds moment;
  std::vector<std::string> remaining;
};

TEST_F(ContentPurge, TimetablesNamedWithTwoOrFourDigitYearsGoOneDayAfterTheirAge) {
  const std::vector<std::string> published = {"05.09.24.ini2", "05.09.2024.ini2", "06.09.24.ini2"};
  const std::vector<std::string> undated = {"info.ini", "kab.ini", "error.ini"};
  const std::vector<timetable_case> cases = {
      {purge_moment(2024, 10, 5), {"05.09.24.ini2", "05.09.2024.ini2", "06.09.24.ini2"}},
      {purge_moment(2024, 10, 6), {"06.09.24.ini2"}},
  };
  settings.purge_timetables.tick();
  for (const auto& c : cases) {
    SCOPED_TRACE(date_text(c.moment));
    log.clear();
    for (const auto& name : published) dir.write("raspisanie/" + name, "rasp||\r\n");
    for (const auto& name : undated) dir.write("raspisanie/" + name, "x\r\n");

    tick_at(c.moment);
    for (const auto& name : published) {
      bool expected = std::find(c.remaining.begin(), c.remaining.end(), name) != c.remaining.end();
      EXPECT_EQ(dir.exists("raspisanie/" + name), expected) << name;
    }
    for (const auto& name : undated) EXPECT_TRUE(dir.exists("raspisanie/" + name)) << name;
    if (c.remaining.size() == published.size()) {
      EXPECT_EQ(log.size(), 0u);
    } else {
      EXPECT_EQ(log.lines(), std::vector<std::string>{logged(": удалено расписание старше 1 месяца")});
    }
  }
}

TEST_F(ContentPurge, AMenuPageGoesWithItsFolderAndEverythingInIt) {
  settings.purge_menus.tick();
  settings.purge_menus.select(1);
  data.write_placeholder_pages();
  for (const char* file : {"menu/05.09.24.ini", "menu/05.09.24/1.ini", "menu/05.09.24/2.ini",
                           "menu/05.09.24/extra/3.ini", "menu/06.09.24.ini", "menu/06.09.24/1.ini"}) {
    dir.write(file, "x\r\n");
  }
  tick_at(purge_moment(2024, 11, 5));  // 5 September + 60 days = 4 November
  EXPECT_FALSE(dir.exists("menu/05.09.24.ini"));
  EXPECT_FALSE(dir.exists("menu/05.09.24"));
  EXPECT_TRUE(dir.exists("menu/06.09.24.ini"));
  EXPECT_TRUE(dir.exists("menu/06.09.24/1.ini"));
  EXPECT_TRUE(dir.exists("menu/error.ini"));
  EXPECT_EQ(log.lines(), std::vector<std::string>{logged(": удалено меню старше 2 месяцев")});
}

TEST_F(ContentPurge, FileNamesWhoseDateCannotBeReadAreKeptAndReported) {
  settings.purge_menus.tick();
  dir.write("menu/ab.cd.ef.ini", "x\r\n");
  dir.write("menu/31.02.24.ini", "x\r\n");
  dir.write("menu/31.02.24/1.ini", "x\r\n");
  dir.write("menu/01.01.24.ini", "x\r\n");

  tick_at(purge_moment(2024, 3, 31));
  EXPECT_TRUE(dir.exists("menu/ab.cd.ef.ini"));
  EXPECT_TRUE(dir.exists("menu/31.02.24/1.ini"));
  EXPECT_FALSE(dir.exists("menu/01.01.24.ini"));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             logged(": удалено меню старше 1 месяца"),
                             logged(": в menu оставлено файлов с нечитаемой датой: 2, например \"31.02.24.ini\""),
                         }));
}

// Old content in every purged place, for the cases where nothing may change.
class UntouchedContent : public ContentPurge {
 protected:
  UntouchedContent() {
    for (const auto& [file, bytes] : files) dir.write(file, bytes);
  }
  void switch_all_on() {
    settings.purge_notes = true;
    settings.purge_news.tick();
    settings.purge_menus.tick();
    settings.purge_timetables.tick();
  }
  void expect_untouched() const {
    for (const auto& [file, bytes] : files) EXPECT_EQ(dir.read(file), bytes) << file;
    EXPECT_FALSE(dir.exists("news/data_tmp.ini"));
    EXPECT_FALSE(dir.exists("zametki/data_tmp.ini"));
    EXPECT_EQ(log.size(), 0u);
  }

  const std::vector<std::pair<std::string, std::string>> files = {
      {"news/data.ini", lines({record("01.01.2020")})},
      {"zametki/data.ini", lines({record("01.01.2020")})},
      {"raspisanie/01.01.20.ini2", "rasp||\r\n"},
      {"menu/01.01.20.ini", "menu\r\n"},
      {"menu/01.01.20/1.ini", "menu\r\n~end~\r\n"},
  };
};

TEST_F(UntouchedContent, NothingIsPurgedOnAnyOtherSecond) {
  switch_all_on();
  tick_at(make_local(2024, 3, 31, 0, 5, 1));
  tick_at(make_local(2024, 3, 31, 0, 4, 59));
  tick_at(make_local(2024, 3, 31, 12, 5, 0));
  expect_untouched();
}

TEST_F(UntouchedContent, NothingIsPurgedWhileTheSwitchesAreOff) {
  tick_at(purge_moment(2024, 3, 31));
  expect_untouched();
}

TEST_F(UntouchedContent, NothingIsPurgedWhileAnAgeIsSwitchedOnWithoutASelection) {
  switch_all_on();
  settings.purge_notes = false;
  for (auto* selector : {&settings.purge_news, &settings.purge_menus, &settings.purge_timetables}) {
    selector->select(-1);
  }
  tick_at(purge_moment(2024, 3, 31));
  expect_untouched();
}

TEST_F(ContentPurge, MissingFilesAndFoldersEndTheirPurgesQuietly) {
  settings.purge_notes = true;
  settings.purge_news.tick();
  settings.purge_menus.tick();
  settings.purge_timetables.tick();
  fs::remove_all(dir.path() / "menu");
  fs::remove_all(dir.path() / "raspisanie");

  tick_at(purge_moment(2024, 3, 31));
  EXPECT_FALSE(dir.exists("news/data_tmp.ini"));
  EXPECT_FALSE(dir.exists("zametki/data_tmp.ini"));
  EXPECT_FALSE(dir.exists("news/data.ini"));
  EXPECT_EQ(log.size(), 0u);
}

TEST_F(ContentPurge, AFileThatCannotBeReadIsReportedAndTheOtherPurgesStillRun) {
  settings.purge_news.tick();
  settings.purge_notes = true;
  fs::create_directories(dir.path() / "news" / "data.ini");  // reading it fails
  dir.write("zametki/data.ini", lines({record("01.01.2024")}));

  EXPECT_NO_THROW(tick_at(purge_moment(2024, 3, 31)));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log.lines()[0].starts_with(logged(": не удалось выполнить очистку news\\data.ini: ")))
      << log.lines()[0];
  EXPECT_EQ(log.lines()[1], logged(": удалены заметки старше 1 дня"));
  EXPECT_FALSE(dir.exists("zametki/data.ini"));
}

}  // namespace
}  // namespace velmira
