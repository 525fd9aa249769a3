// A copy in remote mode against a real master on loopback: the pull, the
// falls back to local mode, and the settings pushed back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "bells/bell_editor.hpp"
#include "bells/bell_list.hpp"
#include "bells/schema_table.hpp"
#include "core/data_file.hpp"
#include "core/operator_error.hpp"
#include "core/text_codec.hpp"
#include "integration/server_fixture.hpp"
#include "support/eventually.hpp"
#include "support/line_client.hpp"

namespace velmira::testing {
namespace {

using namespace std::chrono_literals;

const std::string master_users =
    user_line({"1", "Иванов Иван", "", "Учитель", "teach", "pw1", "Да", "Да", "Да"}) + "\r\n" +
    user_line({"1", "Петров Пётр", "5А", "Ученик", "pupil", "pw2", "Да", "Нет", "Нет"}) + "\r\n";

// A master in local mode that lets "admin" / "adminpw" administer it.
running_server::settings_edit master_settings() {
  return [](std::vector<std::string>& lines) {
    lines[29] = "1";
    lines[30] = "admin";
    lines[31] = "adminpw";
  };
}

void seed_master(const temp_dir& d) {
  d.write("raspisanie/kab.ini", from_utf8("101/Физика\r\n102/Химия\r\n"));
  status_texts texts;
  texts.fill_defaults();
  d.write("zvonok/spisok.ini", format_bell_list(texts, {from_utf8("Основное"), "short"}));
  d.write("zvonok/" + std::string("Основное") + ".ini", format_schema(schema_table()));
  d.write("zvonok/short.ini", format_schema(schema_table()));
  d.write("kalendgraf.rtf", "{\\rtf1\\ansi {\\b AB}C\\par}");
  d.write("zametki/data.ini", from_utf8("05.09.2024\vnote\v\r\n"));
  d.write("news/data.ini", from_utf8("05.09.2024\vnews\v\r\n"));
}

// A copy in remote mode whose master is `master`; `edit` changes more.
running_server copy_of(running_server& master, const running_server::settings_edit& edit = {}) {
  auto tcp = std::to_string(master.tcp_port()), http = std::to_string(master.http_port());
  return running_server("", [&](std::vector<std::string>& lines) {
    lines[1] = tcp;
    lines[2] = http;
    lines[28] = "0";
    lines[30] = "admin";
    lines[31] = "adminpw";
    lines[32] = "127.0.0.1";
    if (edit) edit(lines);
  });
}

bool logged(running_server& s, const std::string& text) {
  for (const auto& line : s.log_lines()) {
    if (line.ends_with(text)) return true;
  }
  return false;
}

std::vector<std::string> events(running_server& s) {
  std::vector<std::string> texts;
  for (const auto& line : s.log_lines()) texts.push_back(line.substr(line.find(": ")));
  return texts;
}

const std::vector<std::string> pulled_lines = {
    ": Настройки сервера получены.", ": Данные пользователей получены.", ": Список кабинетов получен.",
    ": Расписание звонков получено.", ": Календарный график получен.", ": Заметки получены.",
    ": Объявления получены.",
};

TEST(RemoteMode, StartUpPullsEveryFileOfTheMaster) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); })) << ::testing::PrintToString(events(copy));
  EXPECT_THAT(events(copy), ::testing::ElementsAreArray(pulled_lines));

  const std::pair<std::string, std::string> copies[] = {
      {"setting.ini", "setting.ini"},      {"users.ini", "users.ini"},         {"raspisanie/kab.ini", "kab.ini"},
      {"zvonok/spisok.ini", "spisok.ini"}, {"zvonok/short.ini", "short.ini"},  {"zvonok/Основное.ini", "Основное.ini"},
      {"kalendgraf.rtf", "kalendgraf.rtf"}, {"zametki/data.ini", "zametki.ini"}, {"news/data.ini", "news.ini"},
  };
  for (const auto& [at_master, in_remote] : copies) {
    EXPECT_EQ(copy.dir().read("remote/" + in_remote), master.dir().read(at_master) + "\r\n") << in_remote;
  }
  EXPECT_EQ(copy.page().mode_caption, "Режим: Удаленный доступ");
  EXPECT_EQ(copy.page().running_state, '0');
  EXPECT_FALSE(copy.busy());
  EXPECT_FALSE(copy.page().pull_progress.has_value());
}

TEST(RemoteMode, ThePullShowsItsStepsAndTheWindowIsBusyMeanwhile) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  std::vector<int> steps_seen;
  bool refused_while_busy = false;
  // Asked without a pause: every question waits its turn on the operator's
  // thread between the pull's steps, so the pull cannot slip through unseen.
  auto deadline = std::chrono::steady_clock::now() + 10s;
  bool pulled = false;
  while (!pulled && std::chrono::steady_clock::now() < deadline) {
    if (auto progress = copy.page().pull_progress) {
      if (steps_seen.empty() || steps_seen.back() != progress->step) steps_seen.push_back(progress->step);
      EXPECT_EQ(progress->of, 7);
      try {
        copy.act("/api/server/request_data");
      } catch (const operator_busy&) {
        refused_while_busy = true;
      }
    }
    pulled = logged(copy, ": Объявления получены.");
  }
  ASSERT_TRUE(pulled);
  EXPECT_FALSE(steps_seen.empty());
  EXPECT_TRUE(std::is_sorted(steps_seen.begin(), steps_seen.end()));
  EXPECT_TRUE(refused_while_busy);
}

TEST(RemoteMode, AnUnreachableMasterSwitchesTheCopyToLocalMode) {
  running_server master(master_users, master_settings(), seed_master);
  // Ports of its own, which it listens on once in local mode.
  auto copy = copy_of(master, [](std::vector<std::string>& lines) {
    lines[1] = std::to_string(free_port());
    lines[2] = std::to_string(free_port());
  });
  ASSERT_TRUE(eventually([&] { return copy.page().running_state == '1'; }));
  EXPECT_TRUE(logged(copy, ": удаленный сервер недоступен. Попробуйте позже."));
  EXPECT_EQ(copy.page().mode_caption, "Режим: Локальный сервер");
  EXPECT_THAT(copy.queued_messages(),
              ::testing::ElementsAre("Удаленный сервер недоступен. Попробуйте позже.\nСервер переведен в локальный режим."));
  EXPECT_EQ(split_lines(copy.dir().read("setting.ini")).at(28), "1");
}

TEST(RemoteMode, MissingChannelDataSwitchesToLocalModeWithTheThreeLineMessage) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master, [](std::vector<std::string>& lines) {
    lines[1] = std::to_string(free_port());
    lines[2] = std::to_string(free_port());
    lines[32] = "";
  });
  EXPECT_EQ(copy.page().running_state, '1');
  EXPECT_THAT(copy.queued_messages(),
              ::testing::ElementsAre("Не указаны данные удаленного администрирования или основной порт TCP\n"
                                     "Проверьте настройки\nСервер переведен в локальный режим."));
}

TEST(RemoteMode, ARefusalOnTheServerPageKeepsRemoteModeElsewhereGoesBackToLocal) {
  running_server master(master_users, master_settings(), seed_master);
  auto wrong = [](std::vector<std::string>& lines) { lines[31] = "wrong"; };
  const std::string refusal =
      "В удаленном доступе отказано. Либо на сервере отключен удаленный доступ, либо не верно указаны логин и "
      "пароль удаленного администрирования";

  auto on_server_page = copy_of(master, wrong);
  ASSERT_TRUE(eventually([&] { return logged(on_server_page, ": " + refusal); }));
  EXPECT_EQ(on_server_page.page().mode_caption, "Режим: Удаленный доступ");
  EXPECT_EQ(on_server_page.page().running_state, '0');
  EXPECT_FALSE(on_server_page.settings_flag(&settings_page::local_only_visible));
  EXPECT_TRUE(on_server_page.queued_messages().empty());

  auto elsewhere = copy_of(master, wrong);
  ASSERT_TRUE(eventually([&] { return logged(elsewhere, ": " + refusal); }));
  elsewhere.act("/api/page", {{"page", "users"}});
  elsewhere.act("/api/server/request_data");
  ASSERT_TRUE(eventually([&] { return !elsewhere.queued_messages().empty(); }));
  EXPECT_THAT(elsewhere.queued_messages(), ::testing::ElementsAre(refusal));
  EXPECT_EQ(elsewhere.page().mode_caption, "Режим: Локальный сервер");
  EXPECT_EQ(elsewhere.page().running_state, '0');
  EXPECT_EQ(split_lines(elsewhere.dir().read("setting.ini")).at(28), "1");
}

TEST(RemoteMode, ACopyWithAnotherHttpLoginStoresNothing) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master, [](std::vector<std::string>& lines) { lines[8] = "other"; });
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Не удается получить объявления. Файл отсутствует на сервере."); }));
  for (const char* subject : {"настройки сервера", "данные пользователей", "список кабинетов", "расписание звонков",
                              "календарный график", "заметки", "объявления"}) {
    EXPECT_TRUE(logged(copy, ": Не удается получить " + std::string(subject) + ". Файл отсутствует на сервере."))
        << subject;
  }
  EXPECT_FALSE(copy.dir().exists("remote/setting.ini"));
  EXPECT_FALSE(copy.dir().exists("remote/users.ini"));
}

TEST(RemoteMode, SavingInRemoteModeChangesTheMastersSettingsAndQueuesItsReply) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));
  auto master_before = split_lines(master.dir().read("setting.ini"));

  // The page shows the master's settings: change its phone and save.
  copy.edit_settings([](settings_page& page) { page.phone = "+7 111"; });
  EXPECT_TRUE(copy.act("/api/settings/save").outcome.messages.empty());
  ASSERT_TRUE(eventually([&] { return !copy.queued_messages().empty(); }));
  EXPECT_THAT(copy.queued_messages(),
              ::testing::ElementsAre("Настройки сервера по удаленному доступу успешно переданы."));

  auto master_after = split_lines(master.dir().read("setting.ini"));
  EXPECT_EQ(master_after.at(4), "+7 111");
  // What the copy keeps of the master's own (ports, credentials, mode) is the master's still.
  for (int line : {2, 3, 4, 9, 10, 22, 27, 29, 30, 31, 32, 33}) {
    EXPECT_EQ(master_after.at(static_cast<size_t>(line - 1)), master_before.at(static_cast<size_t>(line - 1)))
        << "line " << line;
  }
  EXPECT_TRUE(logged(master, ": Настройки сервера по удаленному доступу успешно получены."));
}

}  // namespace
}  // namespace velmira::testing

namespace velmira::testing {
namespace {

struct page_send_case {
  master_file file;
  std::string copy;       // under the copy's remote\ folder
  std::string at_master;  // the master's file it replaces
  std::string content_utf8;
  std::string master_log;  // the master's line once it stored and reloaded the file
};

TEST(RemoteMode, EachEditorsSendMakesTheMasterStoreAndReloadItsFile) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));

  const std::vector<page_send_case> cases = {
      {master_file::users, "users.ini", "users.ini",
       "Новый Учитель$1$$Учитель$newteach$np$Да$Да$Да$\r\n",
       ": Список пользователей по удаленному доступу успешно получен."},
      {master_file::classrooms, "kab.ini", "raspisanie/kab.ini", "201/Актовый зал\r\n\r\n202/Спортзал\r\n",
       ": Список кабинетов по удаленному доступу успешно получен."},
      {master_file::notes, "zametki.ini", "zametki/data.ini", "06.09.2024\vновая заметка\v\r\n",
       ": Заметки по удаленному доступу успешно получены."},
      {master_file::news, "news.ini", "news/data.ini", "06.09.2024\vновость\v\r\n",
       ": Объявления по удаленному доступу успешно получены."},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.copy);
    copy.dir().write("remote/" + c.copy, from_utf8(c.content_utf8));
    copy.call([&](operator_desk& d) { d.send_if_remote(c.file); });
    ASSERT_TRUE(eventually([&] { return logged(master, c.master_log); }));
    EXPECT_EQ(master.dir().read(c.at_master), from_utf8(c.content_utf8));
    // Replies that reach the copy within one poll are one reply: the next
    // send waits for this one's.
    ASSERT_TRUE(eventually([&] { return copy.queued_messages().size() == i + 1; }));
  }
  // The reloaded users file: the new teacher logs in on the master at once.
  auto client = master.connect();
  client->send("zameVUhitnewteach;np;\r\n");
  EXPECT_EQ(client->read_bytes(6), "zameV1");
}

TEST(RemoteMode, AUsersSaveSendsTheCopyAndTheMastersNewUserLogsInAtOnce) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));
  // Something typed into the master's own form, which its reload empties.
  master.act("/api/users/form", {{"login", "half-typed"}});

  const nlohmann::json teacher = {{"login", "newteach"}, {"password", "np"},    {"full_name", "Новиков"},
                                  {"role", "Учитель"},  {"active", true},      {"may_read_news", true}};
  EXPECT_TRUE(copy.act("/api/users/add", teacher).outcome.messages.empty());
  copy.act("/api/users/save");
  const std::string added = from_utf8(user_line({"1", "Новиков", "", "Учитель", "newteach", "np", "Да", "Нет", "Нет"}));
  EXPECT_EQ(copy.dir().read("remote/users.ini"), from_utf8(master_users) + added + "\r\n");
  EXPECT_FALSE(copy.dir().exists("users.ini"));

  ASSERT_TRUE(eventually([&] { return logged(master, ": Список пользователей по удаленному доступу успешно получен."); }));
  EXPECT_THAT(master.dir().read("users.ini"), ::testing::HasSubstr(added));
  auto client = master.connect();
  client->send("conecUhitnewteach;np;\r\n");
  EXPECT_EQ(client->read_bytes(5), "conec");
  EXPECT_EQ(master.page("/api/users")["form"]["login"], "");
}

TEST(RemoteMode, BellsGoAsTheListEverySchemaAndTheEnd) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));
  schema_table changed;
  changed.at(1, 1) = "9";  // the first lesson starts at nine
  copy.dir().write("remote/short.ini", format_schema(changed));

  copy.call([](operator_desk& d) { d.send_bells_to_master(d.state.bells.list().names()); });
  ASSERT_TRUE(eventually([&] { return logged(master, ": Список звонков по удаленному доступу успешно получен."); }));
  EXPECT_EQ(master.dir().read("zvonok/short.ini"), format_schema(changed));
  // A pulled copy ends with one more CR LF than the master's file, and goes
  // back with it: one more (empty) line, which the schema reader ignores.
  EXPECT_EQ(master.dir().read("zvonok/Основное.ini"), format_schema(schema_table()) + "\r\n");
  EXPECT_TRUE(eventually([&] {
    return copy.queued_messages() ==
           std::vector<std::string>{"Список звонков по удаленному доступу успешно передан."};
  }));
}

TEST(RemoteMode, AModerationDeletionRewritesTheCopyAndTheMastersFile) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));
  const std::string kept = from_utf8("07.09.2024\v9:00:00\vqa\vqa\vИванов\vУчитель\vостаётся\vclBlack\v");
  const std::string gone = from_utf8("07.09.2024\v9:05:00\vqa\vqa\vИванов\vУчитель\vуходит\vclBlack\v");
  copy.dir().write("remote/news.ini", kept + "\r\n" + gone + "\r\n");

  ASSERT_EQ(copy.page("/api/moderation/news")["rows"].size(), 2u);
  copy.act("/api/moderation/news/delete", {{"rows", {1}}});
  EXPECT_EQ(copy.dir().read("remote/news.ini"), kept + "\r\n");
  ASSERT_TRUE(eventually([&] { return logged(master, ": Объявления по удаленному доступу успешно получены."); }));
  EXPECT_EQ(master.dir().read("news/data.ini"), kept + "\r\n");
}

TEST(RemoteMode, TheCalendarSaveWritesTheCopyAndTheMasterWritesItsOwnFiles) {
  running_server master(master_users, [](std::vector<std::string>& lines) {
    master_settings()(lines);
    lines[27] = "1";
  }, seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));
  // The copy loads the master's settings before the calendar file arrives,
  // so the operator ticks "Календарный график" again.
  const nlohmann::json bold_i = {{"centred", true}, {"runs", {{{"text", "I"}, {"b", true}}}}};
  copy.act("/api/calendar/save", {{"calendar_on", true}, {"paragraphs", {bold_i}}});
  EXPECT_EQ(copy.dir().read("remote/kalendgraf.ini"), "<c><b>I</b></c>\r\n");
  ASSERT_TRUE(eventually([&] {
    return master.dir().exists("kalendgraf.ini") && master.dir().read("kalendgraf.ini") == "<c><b>I</b></c>\r\n";
  }));
}

}  // namespace
}  // namespace velmira::testing

namespace velmira::testing {
namespace {

TEST(SaveButton, LocalToLocalSavesAndRestartsTheListenersAlsoWhenStopped) {
  running_server s;
  s.call([](operator_desk& d) { d.ServerStop(); });
  s.edit_settings([](settings_page& page) { page.phone = "+7 222"; });
  EXPECT_THAT(s.act("/api/settings/save").outcome.messages, ::testing::ElementsAre("Настройки сохранены"));
  EXPECT_EQ(split_lines(s.dir().read("setting.ini")).at(4), "+7 222");
  EXPECT_EQ(s.page().running_state, '1');
}

TEST(SaveButton, ARefusedPageSavesNothingAndSelectsLocalAgain) {
  running_server s;
  auto before = s.dir().read("setting.ini");
  s.edit_settings([](settings_page& page) {
    page.selected_mode = operating_mode::remote;
    page.master_address = "";
    page.phone = "changed";
  });
  EXPECT_THAT(s.act("/api/settings/save").outcome.messages,
              ::testing::ElementsAre("Не заполнены ВСЕ поля раздела \"Порт\" и \"Данные для удаленного "
                                     "администрирования\". Можно использовать только буквы латинского алфавита, "
                                     "цифры, знаки _ и -"));
  EXPECT_TRUE(logged(s, ": не заполнены ВСЕ поля раздаела \"Данные для удаленного администрирования\""));
  EXPECT_EQ(s.dir().read("setting.ini"), before);
  bool local_selected = false;
  s.read_settings(
      [&](const settings_page& page) { local_selected = page.selected_mode == operating_mode::local; });
  EXPECT_TRUE(local_selected);
}

TEST(SaveButton, LocalToRemoteStopsSavesHidesAndPullsFromTheMaster) {
  running_server master(master_users, master_settings(), seed_master);
  // The pull asks the HTTP port of the local file as last loaded, so the
  // copy's file names the master's already (its own start then fails on it).
  auto tcp = std::to_string(master.tcp_port()), http = std::to_string(master.http_port());
  running_server s("", [&](std::vector<std::string>& lines) { lines[2] = http; });
  s.edit_settings([&](settings_page& page) {
    page.selected_mode = operating_mode::remote;
    page.main_tcp_port = tcp;
    page.admin_login = "admin";
    page.admin_password = "adminpw";
    page.master_address = "127.0.0.1";
  });
  EXPECT_TRUE(s.act("/api/settings/save").outcome.messages.empty());
  EXPECT_EQ(s.page().running_state, '0');
  EXPECT_EQ(split_lines(s.dir().read("setting.ini")).at(28), "0");
  ASSERT_TRUE(eventually([&] { return logged(s, ": Объявления получены."); }));
  EXPECT_EQ(s.page().mode_caption, "Режим: Удаленный доступ");
  EXPECT_EQ(s.dir().read("remote/users.ini"), master.dir().read("users.ini") + "\r\n");
}

TEST(SaveButton, RemoteToLocalReloadsTheLocalFileAndSwitches) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));
  copy.edit_settings([](settings_page& page) { page.selected_mode = operating_mode::local; });
  EXPECT_THAT(copy.act("/api/settings/save").outcome.messages, ::testing::ElementsAre("Настройки сохранены"));
  EXPECT_EQ(copy.page().mode_caption, "Режим: Локальный сервер");
  auto saved = split_lines(copy.dir().read("setting.ini"));
  EXPECT_EQ(saved.at(28), "1");
  // The local file's own values, not the master's copy the page showed.
  EXPECT_EQ(saved.at(30), "admin");
  EXPECT_EQ(saved.at(32), "127.0.0.1");
}

}  // namespace
}  // namespace velmira::testing

namespace velmira::testing {
namespace {

// The bell editor's page of a copy that has pulled from `master`, shown
// once so its fields are enabled.
void open_bell_editor(running_server& copy) {
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));
  copy.act("/api/page", {{"page", "bells"}});
}

// Waits for the master's reply to a send, after which the copy's window is
// enabled again and the next send opens a channel of its own.
void await_master_reply(running_server& copy, std::size_t replies) {
  ASSERT_TRUE(eventually([&] { return copy.queued_messages().size() == replies && !copy.busy(); }));
}

std::vector<std::string> schema_names(running_server& s) {
  std::vector<std::string> names;
  names = s.call([](operator_desk& d) { return d.state.bell_page.schemas().names(); });
  return names;
}

TEST(RemoteMode, AddingASchemaAndSavingADaySendTheBellsAndTheMasterReloadsThem) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  open_bell_editor(copy);
  const std::vector<std::string> pulled = {from_utf8("Основное"), "short"};
  EXPECT_EQ(schema_names(copy), pulled) << "the pull loads the list into the editor";
  const std::string master_list = master.dir().read("zvonok/spisok.ini");
  const std::string end_line = ": Список звонков по удаленному доступу успешно получен.";

  EXPECT_TRUE(copy.act("/api/bells/add", {{"name", "Новое"}}).outcome.messages.empty());
  ASSERT_TRUE(eventually([&] { return logged(master, end_line); }));
  // The end comes last: by then the list and every schema are stored.
  const std::vector<std::string> added = {from_utf8("Основное"), "short", from_utf8("Новое")};
  EXPECT_EQ(schema_names(master), added) << "the master reloads its list on the end";
  EXPECT_EQ(master.dir().read("zvonok/spisok.ini"), copy.dir().read("remote/spisok.ini"));
  EXPECT_NE(master.dir().read("zvonok/spisok.ini"), master_list);
  EXPECT_EQ(master.dir().read("zvonok/Новое.ini"), format_schema(schema_table()));
  EXPECT_FALSE(copy.dir().exists("zvonok/Новое.ini")) << "a copy writes only under remote/";
  await_master_reply(copy, 1);

  for (auto [field, value] : std::vector<std::pair<lesson_field, std::string>>{
           {lesson_field::start_hour, "8"}, {lesson_field::start_minute, "30"}, {lesson_field::length, "45"}}) {
    EXPECT_NO_THROW(copy.act("/api/bells/change", {{"lesson", 1}, {"field", static_cast<int>(field)}, {"value", value}}));
  }
  EXPECT_TRUE(copy.act("/api/bells/save").outcome.messages.empty());
  schema_table saved;
  normalise_before_save(saved);
  const char* thursday[] = {"8", "30", "9", "15", "45", " "};
  for (int f = 1; f <= 6; ++f) saved.field(4, 1, static_cast<lesson_field>(f)) = thursday[f - 1];
  EXPECT_EQ(copy.dir().read("remote/Новое.ini"), format_schema(saved));
  ASSERT_TRUE(eventually([&] { return master.dir().read("zvonok/Новое.ini") == format_schema(saved); }));
  await_master_reply(copy, 2);
  EXPECT_EQ(copy.queued_messages().back(), "Список звонков по удаленному доступу успешно передан.");
}

TEST(RemoteMode, AClassroomsSaveWritesTheCopyAndTheMastersList) {
  running_server master(master_users, master_settings(), seed_master);
  auto copy = copy_of(master);
  ASSERT_TRUE(eventually([&] { return logged(copy, ": Объявления получены."); }));
  // The master's first line "101/Физика": text after the last "/" is no name.
  EXPECT_EQ(copy.call([](operator_desk& d) { return d.state.rooms.names(); }), std::vector<std::string>{"101"});

  EXPECT_TRUE(copy.act("/api/classrooms/save", {{"text", "201\nАктовый зал  "}}).outcome.messages.empty());
  const std::string list = from_utf8("201/Актовый зал/\r\n");
  EXPECT_EQ(copy.dir().read("remote/kab.ini"), list);
  EXPECT_FALSE(copy.dir().exists("raspisanie/kab.ini"));
  ASSERT_TRUE(eventually([&] { return logged(master, ": Список кабинетов по удаленному доступу успешно получен."); }));
  EXPECT_EQ(master.dir().read("raspisanie/kab.ini"), list);
  EXPECT_EQ(master.call([](operator_desk& d) { return d.state.rooms.names(); }), (std::vector<std::string>{"201", from_utf8("Актовый зал")}));

  await_master_reply(copy, 1);
  auto refused = copy.act("/api/classrooms/save", {{"text", "201\n^"}});
  EXPECT_EQ(refused.outcome.messages.size(), 1u);
  EXPECT_EQ(copy.dir().read("remote/kab.ini"), list);
}

}  // namespace
}  // namespace velmira::testing
