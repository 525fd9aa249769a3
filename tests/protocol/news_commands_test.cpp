#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "content/letter_code.hpp"
#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/event_log.hpp"
#include "core/text_codec.hpp"
#include "protocol/news_commands.hpp"
#include "protocol/publication_summary.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"
#include "users/roles.hpp"
#include "users/user_table.hpp"

namespace velmira {
namespace {

std::string w(std::string_view utf8) { return from_utf8(utf8); }

const std::set<std::string> colours = {"#ffB22222", "#ff008000", "#ffC71585", "#ffFF8C00",
                                       "#ff6A5ACD", "#ffA0522D", "#ff000080"};

TMassLogIn user(std::string active, std::string_view name_utf8, std::string_view class_utf8,
                std::string_view role_utf8, std::string login, std::string password) {
  return {std::move(active), w(name_utf8), w(class_utf8), w(role_utf8), std::move(login), std::move(password),
          roles::yes(), roles::yes(), roles::yes()};
}

// The fields of a record line, each without its VT.
std::vector<std::string> fields_of(std::string_view line) {
  std::vector<std::string> fields;
  for (auto end = line.find('\v'); end != std::string_view::npos; end = line.find('\v')) {
    fields.emplace_back(line.substr(0, end));
    line.remove_prefix(end + 1);
  }
  EXPECT_TRUE(line.empty()) << "record does not end with VT";
  return fields;
}

std::string vt_joined(const std::vector<std::string>& fields) {
  std::string text;
  for (const auto& f : fields) text += f + "\v";
  return text;
}

class NewsCommands : public ::testing::Test {
 protected:
  NewsCommands() {
    data.create_tree();
    users.replace({user("1", "Иванов Иван", "5А", "Ученик", "pupil", "p1"),
                   user("1", "Иванова Ольга", "5А", "Родитель", "parent", "r1"),
                   user("1", "Петрова Анна", "", "Учитель", "teacher", "t1"),
                   user("1", "Смирнов Олег", "", "Директор", "head", "h1"),
                   user("0", "Блокова Вера", "", "Учитель", "blocked", "b1")});
  }

  static std::string credentials(std::string_view login, std::string_view password) {
    return std::string(login) + "\v" + std::string(password) + "\v";
  }
  void add_news(std::string_view text_utf8, std::string_view login = "teacher", std::string_view password = "t1",
                std::string_view rol = "Uhit") {
    commands.newsS(rol, credentials(login, password) + "img\v" + w(text_utf8) + "\v");
  }
  void add_note(std::string_view date, std::string_view text_utf8, std::string_view login = "pupil",
                std::string_view password = "p1", std::string_view rol = "Uche") {
    commands.zameS(rol, credentials(login, password) + "img\v" + std::string(date) + "\v" + w(text_utf8) + "\v");
  }
  std::vector<std::string> lines(const std::string& relative) const {
    return split_lines(to_utf8(dir.read(relative)));
  }
  // The entry key of a stored record: its first five fields with their VTs.
  static std::string entry_key(std::string_view line_1251) {
    auto f = fields_of(line_1251);
    return vt_joined({f.begin(), f.begin() + 5});
  }
  std::string stored(const std::string& relative, size_t index) const {
    return split_lines(dir.read(relative)).at(index);
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  user_table users;
  manual_clock clock{make_local(2023, 12, 25, 14, 5, 9)};
  log_switches switches;
  event_log log{clock, switches};
  publication_summary summary{data};
  std::uint32_t next_seed = 1;
  news_commands commands{data, users, summary, log, clock, [this] { return next_seed++; }};
};

TEST_F(NewsCommands, AnnouncementToAMissingFileIsItsOnlyLine) {
  add_news("Собрание в 15:00");
  auto stored = lines("news/data.ini");
  ASSERT_EQ(stored.size(), 1u);
  auto f = fields_of(w(stored[0]));
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(f.begin(), f.begin() + 7),
            (std::vector<std::string>{"25.12.2023", "14:05:09", StrToHex(std::string_view("teacher")),
                                      StrToHex(std::string_view("t1")), w("Петрова Анна"), w("Учитель"),
                                      w("Собрание в 15:00")}));
  EXPECT_TRUE(colours.contains(f[7])) << f[7];
  EXPECT_EQ(dir.read("news/data.ini").substr(dir.read("news/data.ini").size() - 3), "\v\r\n");
}

struct author_case {
  std::string login, password, rol, first_utf8, second_utf8;
};
void PrintTo(const author_case& c, std::ostream* os) { *os << c.login; }

class AuthorFields : public NewsCommands, public ::testing::WithParamInterface<author_case> {};

TEST_P(AuthorFields, PupilsAndParentsAreShownByRoleOthersByName) {
  const auto& c = GetParam();
  add_note("01.09.2023", "Текст", c.login, c.password, c.rol);
  auto f = fields_of(stored("zametki/data.ini", 0));
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(to_utf8(f[4]), c.first_utf8);
  EXPECT_EQ(to_utf8(f[5]), c.second_utf8);
}

INSTANTIATE_TEST_SUITE_P(Cases, AuthorFields,
                         ::testing::Values(author_case{"pupil", "p1", "Uche", "Ученик", "Иванов Иван 5А"},
                                           author_case{"parent", "r1", "Rodi", "Родитель", "Иванова Ольга 5А"},
                                           author_case{"teacher", "t1", "Uhit", "Петрова Анна", "Учитель"},
                                           author_case{"head", "h1", "Dire", "Смирнов Олег", "Директор"}),
                         testing::by_text_of(&author_case::login));

TEST_F(NewsCommands, NoteKeepsTheClientsDateAndLeavesInfoAlone) {
  add_note("31.13.2023", "Не забыть форму");
  auto f = fields_of(stored("zametki/data.ini", 0));
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(f[0], "31.13.2023");
  EXPECT_EQ(f[1], "14:05:09");
  EXPECT_EQ(to_utf8(f[6]), "Не забыть форму");
  EXPECT_FALSE(dir.exists("raspisanie/info.ini"));
}

TEST_F(NewsCommands, AnnouncementSetsTheAnnouncementValuesOfInfo) {
  summary.timetable_published(make_local(2023, 12, 24, 9, 0, 0), "25.12.23");
  add_news("Ёлка");
  EXPECT_EQ(to_utf8(dir.read("raspisanie/info.ini")),
            "24.12.2023$9:00:00$9:00:00: опубликовано расписание на 25.12.23$$$$"
            "25.12.2023$14:05:09$14:05:09: новое объявление от  Петрова Анна$\r\n");
}

TEST_F(NewsCommands, NewRecordIsAlwaysTheLastLine) {
  add_news("первая");
  clock.set(make_local(2023, 12, 26, 8, 0, 0));
  add_news("вторая");
  auto stored = lines("news/data.ini");
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_TRUE(stored[0].starts_with("25.12.2023\v14:05:09\v"));
  EXPECT_TRUE(stored[1].starts_with("26.12.2023\v8:00:00\v"));
}

TEST_F(NewsCommands, LineBreakInATextIsStoredAsASpace) {
  add_news("строка 1\rстрока 2");
  add_note("01.09\r.2023", "a\r\nb");
  auto news = lines("news/data.ini");
  ASSERT_EQ(news.size(), 1u);
  EXPECT_EQ(fields_of(w(news[0])).at(6), w("строка 1 строка 2"));
  auto notes = lines("zametki/data.ini");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(fields_of(w(notes[0])).at(0), "01.09 .2023");
  EXPECT_EQ(fields_of(w(notes[0])).at(6), "a  b");
}

TEST_F(NewsCommands, ColourIsDrawnFromAGeneratorSeededOnEveryAdd) {
  std::set<std::string> seen;
  for (int i = 0; i < 12; ++i) add_news("x");
  for (const auto& line : split_lines(dir.read("news/data.ini"))) {
    auto colour = fields_of(line).at(7);
    EXPECT_TRUE(colours.contains(colour)) << colour;
    seen.insert(colour);
  }
  EXPECT_GT(seen.size(), 1u);

  // Re-seeding with the same value must draw the same colour again.
  dir.write("zametki/data.ini", "");
  next_seed = 77;
  add_note("1.1.24", "a");
  next_seed = 77;
  add_note("1.1.24", "b");
  auto notes = split_lines(dir.read("zametki/data.ini"));
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(fields_of(notes[0]).at(7), fields_of(notes[1]).at(7));
}

TEST_F(NewsCommands, EmptySecondLineDropsTheRestOnEveryRewrite) {
  const std::string damaged = "first\v\r\n\r\nlost\v\r\n";
  dir.write("news/data.ini", damaged);
  add_news("new");
  auto after_add = lines("news/data.ini");
  ASSERT_EQ(after_add.size(), 2u);
  EXPECT_EQ(after_add[0], "first\v");

  dir.write("news/data.ini", damaged);
  commands.newsD("Uhit", credentials("teacher", "t1") + "nothing-matches");
  EXPECT_EQ(dir.read("news/data.ini"), "first\v\r\n");

  dir.write("news/data.ini", damaged);
  commands.newsR("Uhit", credentials("teacher", "t1") + "a\vb\vc\vd\ve\vnew\v");
  EXPECT_EQ(dir.read("news/data.ini"), "first\v\r\n");
}

TEST_F(NewsCommands, DeleteByPrefixRemovesEveryMatchingLineAndKeepsTheOrder) {
  dir.write("zametki/data.ini", "01.09.2023\va\v\r\n02.09.2023\vb\v\r\n01.09.2023\vc\v\r\n03.09.2023\vd\v\r\n");
  commands.zameD("Uche", credentials("pupil", "p1") + "01.09.2023\v");
  EXPECT_EQ(dir.read("zametki/data.ini"), "02.09.2023\vb\v\r\n03.09.2023\vd\v\r\n");
}

TEST_F(NewsCommands, DeletingTheOnlyRecordLeavesAnEmptyFile) {
  add_news("only");
  commands.newsD("Uhit", credentials("teacher", "t1") + entry_key(stored("news/data.ini", 0)));
  ASSERT_TRUE(dir.exists("news/data.ini"));
  EXPECT_EQ(dir.read("news/data.ini"), "");
}

TEST_F(NewsCommands, EditChangesOnlyTheTextOfTheAddressedRecord) {
  add_news("первая");
  clock.set(make_local(2023, 12, 25, 15, 0, 0));
  add_news("вторая", "head", "h1", "Dire");
  add_news("третья");
  auto before = split_lines(dir.read("news/data.ini"));

  clock.set(make_local(2024, 1, 9, 10, 0, 0));
  commands.newsR("Uhit", credentials("teacher", "t1") + entry_key(before[1]) + w("исправлено") + "\v");

  auto after = split_lines(dir.read("news/data.ini"));
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0], before[0]);
  EXPECT_EQ(after[2], before[2]);
  auto old_fields = fields_of(before[1]);
  old_fields[6] = w("исправлено");
  EXPECT_EQ(after[1], vt_joined(old_fields));
}

TEST_F(NewsCommands, EditTextWithALineBreakStaysOneRecord) {
  add_note("1.1.24", "old");
  auto key = entry_key(stored("zametki/data.ini", 0));
  commands.zameR("Uche", credentials("pupil", "p1") + key + "new\rtext\v");
  auto notes = split_lines(dir.read("zametki/data.ini"));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(fields_of(notes[0]).at(6), "new text");
}

TEST_F(NewsCommands, EditWithoutAFullEntryKeyChangesNoRecord) {
  add_note("1.1.24", "old");
  auto before = dir.read("zametki/data.ini");
  commands.zameR("Uche", credentials("pupil", "p1") + "1.1.24\vnew\v");
  commands.zameR("Uche", credentials("pupil", "p1") + "");
  EXPECT_EQ(dir.read("zametki/data.ini"), before);
}

TEST_F(NewsCommands, DeleteAndEditOfAMissingFileCreateNothingButAreLogged) {
  switches.set(log_category::news_changes, true);
  commands.newsD("Uhit", credentials("teacher", "t1") + "key");
  commands.newsR("Uhit", credentials("teacher", "t1") + "a\vb\vc\vd\ve\vnew\v");
  EXPECT_FALSE(dir.exists("news/data.ini"));
  EXPECT_EQ(log.size(), 2u);
}

struct refused_case {
  const char* name;
  std::string login, password, rol;
};

class RefusedCredentials : public NewsCommands, public ::testing::WithParamInterface<refused_case> {};

TEST_P(RefusedCredentials, ChangeNothingAndLogNothing) {
  switches.set(log_category::news_changes, true);
  switches.set(log_category::notes_changes, true);
  const std::string record = "01.09.2023\va\v\r\n";
  dir.write("news/data.ini", record);
  dir.write("zametki/data.ini", record);
  const auto& c = GetParam();
  auto prefix = credentials(c.login, c.password);
  commands.newsS(c.rol, prefix + "img\vtext\v");
  commands.zameS(c.rol, prefix + "img\v1.1.24\vtext\v");
  commands.newsD(c.rol, prefix + "01");
  commands.zameD(c.rol, prefix + "01");
  commands.newsR(c.rol, prefix + "01.09.2023\va\vb\vc\vd\vnew\v");
  commands.zameR(c.rol, prefix + "01.09.2023\va\vb\vc\vd\vnew\v");
  EXPECT_EQ(dir.read("news/data.ini"), record);
  EXPECT_EQ(dir.read("zametki/data.ini"), record);
  EXPECT_FALSE(dir.exists("raspisanie/info.ini"));
  EXPECT_EQ(log.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedCredentials,
                         ::testing::Values(refused_case{"WrongPassword", "teacher", "t2", "Uhit"},
                                           refused_case{"WrongRoleCode", "teacher", "t1", "Uche"},
                                           refused_case{"Blocked", "blocked", "b1", "Uhit"},
                                           refused_case{"LoginCaseDiffers", "Teacher", "t1", "Uhit"},
                                           refused_case{"UnknownRoleCode", "teacher", "t1", "Admi"}),
                         testing::by_name);

TEST_F(NewsCommands, EachKindLogsOnlyWhileItsSwitchIsOn) {
  const std::string edit = "a\vb\vc\vd\ve\vnew\v";
  auto all_six = [&] {
    add_news("n");
    add_note("1.1.24", "z", "pupil", "p1", "Uche");
    commands.newsD("Uhit", credentials("teacher", "t1") + "x");
    commands.zameD("Uche", credentials("pupil", "p1") + "x");
    commands.newsR("Uhit", credentials("teacher", "t1") + edit);
    commands.zameR("Uche", credentials("pupil", "p1") + edit);
  };
  all_six();
  EXPECT_EQ(log.size(), 0u);

  switches.set(log_category::news_changes, true);
  all_six();
  switches.set(log_category::news_changes, false);
  switches.set(log_category::notes_changes, true);
  all_six();

  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "[25.12.2023] 14:05:09: teacher Uhit добавление новости",
                             "[25.12.2023] 14:05:09: teacher Uhit запрос на удаление новости",
                             "[25.12.2023] 14:05:09: teacher Uhit редактирование новости",
                             "[25.12.2023] 14:05:09: pupil Uche добавление заметки",
                             "[25.12.2023] 14:05:09: pupil Uche запрос на удаление заметки",
                             "[25.12.2023] 14:05:09: pupil Uche редактирование заметки",
                         }));
}

TEST_F(NewsCommands, MalformedRequestsStoreNothing) {
  // Without the separators the credentials are empty and match nobody.
  for (const std::string rest : {"", "teacher", "teacher\vt1", "\v\v\v\v"}) {
    commands.newsS("Uhit", rest);
    commands.zameR("Uhit", rest);
  }
  EXPECT_FALSE(dir.exists("news/data.ini"));
  EXPECT_FALSE(dir.exists("zametki/data.ini"));
}

}  // namespace
}  // namespace velmira
