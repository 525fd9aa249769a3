#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/text_codec.hpp"
#include "protocol/publication_commands.hpp"
#include "protocol/publication_summary.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"
#include "users/roles.hpp"
#include "users/user_table.hpp"

namespace velmira {
namespace {

std::string w(std::string_view utf8) { return from_utf8(utf8); }

TMassLogIn user(std::string active, std::string_view role_utf8, std::string login, std::string password) {
  return {std::move(active), w("Сидорова Мария"), "", w(role_utf8), std::move(login), std::move(password),
          roles::yes(), roles::yes(), roles::yes()};
}

// The request after command word and role code.
std::string request(std::string_view login, std::string_view password, std::string_view rest_utf8) {
  return std::string(login) + "\v" + std::string(password) + "\v" + w(rest_utf8);
}

class Publication : public ::testing::Test {
 protected:
  Publication() {
    data.create_tree();
    users.replace({user("1", "Учитель", "teacher", "t1"), user("0", "Диспетчер", "blocked", "b1"),
                   user("1", "Диспетчер", "disp", "d1"), user("1", "Столовая", "stol", "s1")});
  }

  std::string publish_timetable(std::string_view rest_utf8) {
    return to_utf8(commands.publish_timetable("Disp", request("disp", "d1", rest_utf8)));
  }
  std::string withdraw_timetable(std::string_view date) {
    return to_utf8(commands.withdraw_timetable("Disp", request("disp", "d1", date)));
  }
  std::string publish_menu(std::string_view rest_utf8) {
    return to_utf8(commands.publish_menu("Stol", request("stol", "s1", rest_utf8)));
  }
  std::string withdraw_menu(std::string_view rest_utf8) {
    return to_utf8(commands.withdraw_menu("Stol", request("stol", "s1", rest_utf8)));
  }
  std::string file(const std::string& relative) const { return to_utf8(dir.read(relative)); }

  // Every file and folder below the data directory, for "nothing written".
  std::set<std::string> tree() const {
    std::set<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      entries.insert(std::filesystem::relative(entry.path(), dir.path()).string());
    }
    return entries;
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  user_table users;
  manual_clock clock{make_local(2023, 9, 4, 8, 15, 30)};
  log_switches switches;
  event_log log{clock, switches};
  publication_summary summary{data};
  publication_commands commands{data, users, summary, log, clock};
};

struct date_case {
  std::string sent, dat;
};
void PrintTo(const date_case& c, std::ostream* os) { *os << c.sent; }

class PublicationDate : public ::testing::TestWithParam<date_case> {};

TEST_P(PublicationDate, CutsOnlyAFourCharacterYear) {
  EXPECT_EQ(publication_date(GetParam().sent), GetParam().dat);
}

INSTANTIATE_TEST_SUITE_P(Cases, PublicationDate,
                         ::testing::Values(date_case{"05.09.2023", "05.09.23"}, date_case{"5.9.2023", "5.9.23"},
                                           date_case{"5.9.23", "5.9.23"}, date_case{"5.9.023", "5.9.023"},
                                           date_case{"5.9.12345", "5.9.12345"},
                                           // Day and month are what precedes each ".".
                                           date_case{"5.9", "5..9"}, date_case{"2023", "..23"}),
                         testing::by_text_of(&date_case::sent));

TEST_F(Publication, TimetableIsStoredUnderTheNormalisedDateWithItsCounts) {
  EXPECT_EQ(publish_timetable("Школа №1;5.9.2023;5А$5Б$||a$b$|c$d$|e$f$|"),
            "soobsРасписание на 5.9.23 успешно опубликовано");
  EXPECT_EQ(file("raspisanie/5.9.23.ini2"), "rasp||Школа №1||3||2||5А$5Б$||a$b$|c$d$|e$f$|\r\n");
  EXPECT_EQ(file("raspisanie/info.ini"), "04.09.2023$8:15:30$8:15:30: опубликовано расписание на 5.9.23$$$$$$$\r\n");
}

TEST_F(Publication, RepublishingADateReplacesItsTimetable) {
  publish_timetable("A;5.9.23;5А$||a$|");
  publish_timetable("B;5.9.23;6А$||b$|");
  EXPECT_EQ(file("raspisanie/5.9.23.ini2"), "rasp||B||1||1||6А$||b$|\r\n");
}

struct body_case {
  const char* name;
  std::string body, stored_after_institution;
};
void PrintTo(const body_case& c, std::ostream* os) { *os << c.body; }

class TimetableBody : public Publication, public ::testing::WithParamInterface<body_case> {};

TEST_P(TimetableBody, UnterminatedTailCountsAsOneMoreItem) {
  publish_timetable("S;1.2.23;" + GetParam().body);
  EXPECT_EQ(file("raspisanie/1.2.23.ini2"), "rasp||S||" + GetParam().stored_after_institution + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, TimetableBody,
                         ::testing::Values(body_case{"ClassesAndRows", "5А$5Б||a$|b$", "2||2||5А$5Б||a$|b$"},
                                           body_case{"UnterminatedRow", "5А$||a$b$|c", "2||1||5А$||a$b$|c"},
                                           body_case{"OnlySeparator", "||", "0||0||||"},
                                           body_case{"Empty", "", "0||0||||"},
                                           // Without "||" every row is taken as rows.
                                           body_case{"RowsWithoutSeparator", "a$b$|c$d$|", "2||0||||a$b$|c$d$|"},
                                           body_case{"EmptyItems", "$$||||", "2||2||$$||||"}),
                         testing::by_name);

TEST_F(Publication, WithdrawingNeedsTheSameSpellingOfTheDate) {
  publish_timetable("S;5.9.2023;5А$||a$|");
  EXPECT_EQ(withdraw_timetable("05.09.23"), "soobsРасписание на 05.09.23 не было ранее опубликовано.");
  EXPECT_TRUE(dir.exists("raspisanie/5.9.23.ini2"));

  std::string info_before = dir.read("raspisanie/info.ini");
  EXPECT_EQ(withdraw_timetable("5.9.2023"), "soobsПубликация расписания на 5.9.23 успешно отменена");
  EXPECT_FALSE(dir.exists("raspisanie/5.9.23.ini2"));
  // Withdrawals leave the last-publication values alone.
  EXPECT_EQ(dir.read("raspisanie/info.ini"), info_before);
}

struct refusal_case {
  const char* name;
  std::string rol, login, password;
  bool menu;
};

class Refusal : public Publication, public ::testing::WithParamInterface<refusal_case> {};

TEST_P(Refusal, GetsErrorAndChangesNothing) {
  switches.set(log_category::timetable_changes, true);
  switches.set(log_category::menu_changes, true);
  const auto& c = GetParam();
  auto before = tree();
  std::string reply;
  if (c.menu) {
    reply = commands.publish_menu(c.rol, request(c.login, c.password, "S;1;5.9.23;body"));
    EXPECT_EQ(commands.withdraw_menu(c.rol, request(c.login, c.password, "S;1;5.9.23")), "error");
  } else {
    reply = commands.publish_timetable(c.rol, request(c.login, c.password, "S;5.9.23;5А$||a$|"));
    EXPECT_EQ(commands.withdraw_timetable(c.rol, request(c.login, c.password, "5.9.23")), "error");
  }
  EXPECT_EQ(reply, "error");
  EXPECT_EQ(tree(), before);
  EXPECT_EQ(log.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusal,
    ::testing::Values(refusal_case{"TeacherAsDispatcher", "Disp", "teacher", "t1", false},
                      refusal_case{"TeacherWithOwnCode", "Uhit", "teacher", "t1", false},
                      refusal_case{"BlockedDispatcher", "Disp", "blocked", "b1", false},
                      refusal_case{"WrongPassword", "Disp", "disp", "d2", false},
                      refusal_case{"DispatcherAsCanteen", "Stol", "disp", "d1", true},
                      refusal_case{"CanteenWithDispatcherCode", "Disp", "stol", "s1", true},
                      refusal_case{"MissingPassword", "Stol", "stol", "", true}),
    testing::by_name);

TEST_F(Publication, CanteenCredentialsCannotPublishATimetable) {
  EXPECT_EQ(commands.publish_timetable("Stol", request("stol", "s1", "S;5.9.23;5А$||a$|")), "error");
  EXPECT_FALSE(dir.exists("raspisanie/5.9.23.ini2"));
}

const std::string menu_page_head =
    "<!DOCTYPE html>\r\n"
    "<html>\r\n"
    "<head>\r\n"
    "<style>\r\n"
    ".cwdtable {font-size:12px;color:#333333;width:100%;border-width: 1px;border-color: #729ea5;"
    "border-collapse: collapse;}\r\n"
    ".cwdtable th {font-size:12px;background:#0076d2;border-width: 1px;padding: 8px;border-style: solid;"
    "border-color: #729ea5;color:#ffffff;}\r\n"
    ".cwdtable tr {background:#ffffff;}\r\n"
    ".cwdtable td {font-size:12px;border-width: 1px;padding: 8px;border-style: solid;border-color: #0076d2;}\r\n"
    ".cwdtable th,.cwdtable td{text-align:center}\r\n"
    "#tip5 {font-size: 15px;\r\n"
    "text-align: center;\r\n"
    "font-weight: bold;}\r\n"
    "#tip6 {font-size: 30px;\r\n"
    "text-align: center;\r\n"
    "font-weight: bold;}\r\n"
    ".shadowtext {\r\n"
    "color: #0061B0;\r\n"
    "font-size: 14px;\r\n"
    "text-shadow: 2px 4px 3px rgba(0,97,176,0.3);\r\n"
    "text-align: center;\r\n"
    "}\r\n"
    "</style>\r\n"
    "</head>\r\n"
    "<body>\r\n";

TEST_F(Publication, MenusArePagedInNumberOrderWhateverTheOrderOfPublication) {
  EXPECT_EQ(publish_menu("Школа №1;2;5.9.2023;<table>обед</table>"), "soobsМеню на 5.9.23 успешно опубликовано");
  EXPECT_EQ(file("menu/5.9.23/2.ini"), "<table>обед</table>\r\n~end~\r\n");
  publish_menu("Школа №2;1;5.9.2023;<table>завтрак</table>");

  EXPECT_EQ(file("menu/5.9.23.ini"), menu_page_head +
                                         "<p class=\"shadowtext\"><b>Школа №2</b></p>\r\n"
                                         "<table>завтрак</table><br><br>\r\n"
                                         "<table>обед</table><br><br>\r\n"
                                         "</body></html>\r\n");
  EXPECT_EQ(file("raspisanie/info.ini"), "$$$04.09.2023$8:15:30$8:15:30: опубликовано меню на 5.9.23$$$$\r\n");
}

TEST_F(Publication, PageTakesMenuLinesUpToEndMarkAndOnlyNumbersOneToTen) {
  dir.write("menu/5.9.23/3.ini", w("первая\r\nвторая\r\n~end~\r\nпосле метки\r\n"));
  dir.write("menu/5.9.23/10.ini", "ten");
  publish_menu("S;11;5.9.23;eleven");
  publish_menu("S;01;5.9.23;zero-one");

  EXPECT_TRUE(dir.exists("menu/5.9.23/11.ini"));
  EXPECT_EQ(file("menu/5.9.23.ini"), menu_page_head +
                                         "<p class=\"shadowtext\"><b>S</b></p>\r\n"
                                         "перваявторая<br><br>\r\n"
                                         "ten<br><br>\r\n"
                                         "</body></html>\r\n");
}

TEST_F(Publication, WithdrawingTheOnlyMenuRemovesFileAndPageButKeepsTheFolder) {
  publish_menu("S;1;5.9.23;body");
  EXPECT_EQ(withdraw_menu("S;1;5.9.2023"), "soobsПубликация меню на 5.9.23 успешно отменена");
  EXPECT_FALSE(dir.exists("menu/5.9.23/1.ini"));
  EXPECT_FALSE(dir.exists("menu/5.9.23.ini"));
  EXPECT_TRUE(dir.exists("menu/5.9.23"));
}

TEST_F(Publication, WithdrawingOneOfTwoMenusRebuildsThePageWithTheOther) {
  publish_menu("S;1;5.9.23;first");
  publish_menu("S;2;5.9.23;second");
  withdraw_menu("T;1;5.9.23");
  EXPECT_EQ(file("menu/5.9.23.ini"), menu_page_head +
                                         "<p class=\"shadowtext\"><b>T</b></p>\r\n"
                                         "second<br><br>\r\n"
                                         "</body></html>\r\n");
}

TEST_F(Publication, WithdrawingAMenuNeverPublishedSaysSoAndChangesNothing) {
  switches.set(log_category::menu_changes, true);
  publish_menu("S;1;5.9.23;first");
  auto before = tree();
  auto page = dir.read("menu/5.9.23.ini");
  EXPECT_EQ(withdraw_menu("S;2;5.9.23"), "soobsМеню на 5.9.23 не было ранее опубликовано.");
  EXPECT_EQ(withdraw_menu("S;1;6.9.23"), "soobsМеню на 6.9.23 не было ранее опубликовано.");
  EXPECT_EQ(tree(), before);
  EXPECT_EQ(dir.read("menu/5.9.23.ini"), page);
  EXPECT_EQ(log.size(), 1u);
}

// Dates and menu numbers that cannot be a file name inside their folder.
const std::vector<std::string> unusable_dates = {
    "..",  "../../x",   "1.2./x",    "1.2.\\x",     "1.2.a\x01", std::string("1.2.\0z", 6),
    "",    "1.2.x\x7F", "1.2.c:\\x", "1.2.x\rmore", "1.2.x\t"};
const std::vector<std::string> unusable_menu_numbers = {"",   "..",  "../1", "a/b", "a\\b",
                                                        "1\n", "\x7F", ".",    "c:"};

TEST_F(Publication, UnusableDatesAreRefusedWithNothingWritten) {
  switches.set(log_category::timetable_changes, true);
  switches.set(log_category::menu_changes, true);
  dir.write("raspisanie/x.ini2", "keep");
  dir.write("x.ini2", "keep");
  auto before = tree();
  for (const auto& date : unusable_dates) {
    SCOPED_TRACE(::testing::PrintToString(date));
    EXPECT_EQ(commands.publish_timetable("Disp", request("disp", "d1", "S;" + date + ";5А$||a$|")), "error");
    EXPECT_EQ(commands.withdraw_timetable("Disp", request("disp", "d1", date)), "error");
    EXPECT_EQ(commands.publish_menu("Stol", request("stol", "s1", "S;1;" + date + ";body")), "error");
    EXPECT_EQ(commands.withdraw_menu("Stol", request("stol", "s1", "S;1;" + date)), "error");
    EXPECT_FALSE(commands.Menu_Create("S", publication_date(date)));
  }
  EXPECT_EQ(tree(), before);
  EXPECT_EQ(log.size(), 0u);
}

TEST_F(Publication, UnusableMenuNumbersAreRefusedWithNothingWritten) {
  dir.write("menu/1.ini", "keep");
  auto before = tree();
  for (const auto& number : unusable_menu_numbers) {
    SCOPED_TRACE(::testing::PrintToString(number));
    EXPECT_EQ(commands.publish_menu("Stol", request("stol", "s1", "S;" + number + ";5.9.23;body")), "error");
    EXPECT_EQ(commands.withdraw_menu("Stol", request("stol", "s1", "S;" + number + ";5.9.23")), "error");
  }
  EXPECT_EQ(tree(), before);
}

TEST_F(Publication, EachKindLogsOnlyWhileItsSwitchIsOn) {
  publish_timetable("S;5.9.23;5А$||a$|");
  publish_menu("S;1;5.9.23;body");
  EXPECT_EQ(log.size(), 0u);

  switches.set(log_category::timetable_changes, true);
  publish_timetable("S;5.9.2023;5А$||a$|");
  withdraw_timetable("5.9.23");
  publish_menu("S;1;5.9.23;body");
  withdraw_menu("S;1;5.9.23");

  switches.set(log_category::timetable_changes, false);
  switches.set(log_category::menu_changes, true);
  publish_timetable("S;5.9.23;5А$||a$|");
  withdraw_timetable("5.9.23");
  publish_menu("S;1;6.9.2023;body");
  withdraw_menu("S;1;6.9.23");

  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "[04.09.2023] 8:15:30: Disp публикация расписания на 5.9.23",
                             "[04.09.2023] 8:15:30: Disp отмена публикации расписания на 5.9.23",
                             "[04.09.2023] 8:15:30: Stol публикация меню на 6.9.23",
                             "[04.09.2023] 8:15:30: Stol отмена публикации меню на 6.9.23",
                         }));
}

TEST_F(Publication, MalformedRequestsStillTerminate) {
  // Missing separators leave fields empty, and an empty date ("..") or menu
  // number is no file name. A withdrawal takes all that follows the
  // password as its date, which may then be a name nothing was published under.
  struct malformed_case {
    std::string rest;
    std::string timetable_withdrawal;
  };
  const std::string error = "error";
  const malformed_case cases[] = {
      {"", error},
      {"\v", error},
      {"disp\vd1\v", error},
      {"disp\vd1\v;;;;", w("soobsРасписание на ..;; не было ранее опубликовано.")},
      {"disp\vd1\v||||||", w("soobsРасписание на ..|||||| не было ранее опубликовано.")},
      {"disp\vd1\v$|$|", w("soobsРасписание на ..$| не было ранее опубликовано.")},
  };
  auto before = tree();
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.rest));
    EXPECT_EQ(commands.publish_timetable("Disp", c.rest), error);
    EXPECT_EQ(commands.withdraw_timetable("Disp", c.rest), c.timetable_withdrawal);
    EXPECT_EQ(commands.publish_menu("Stol", c.rest), error);
    EXPECT_EQ(commands.withdraw_menu("Stol", c.rest), error);
  }
  EXPECT_EQ(tree(), before);
  EXPECT_EQ(commands.publish_timetable("Disp", "disp\vd1\vS;1.1.23;||||"),
            w("soobsРасписание на 1.1.23 успешно опубликовано"));
  EXPECT_EQ(dir.read("raspisanie/1.1.23.ini2"), "rasp||S||2||0||||||\r\n");
}

}  // namespace
}  // namespace velmira
