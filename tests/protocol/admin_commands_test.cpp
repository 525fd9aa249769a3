#include "protocol/admin_commands.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/event_log.hpp"
#include "core/greeting.hpp"
#include "core/access_settings.hpp"
#include "core/published.hpp"
#include "core/text_codec.hpp"
#include "protocol/login_commands.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"
#include "users/user_table.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;

std::string w(std::string_view utf8) { return from_utf8(utf8); }

constexpr const char* log_prefix = "[25.12.2023] 14:05:09";
constexpr const char* forbidden_log = ": Попытка уделенного управления. Отказано, т. к. удаленный доступ запрещен.";
constexpr const char* wrong_credentials_log =
    ": Попытка уделенного управления. Отказано, т. к. неверные логин и пароль.";
constexpr const char* unknown_file_log = ": Попытка уделенного управления. Отказано, т. к. передан недопустимый файл.";
constexpr const char* unloadable_settings_log =
    ": Попытка уделенного управления. Отказано, т. к. файл настроек не может быть загружен.";
constexpr const char* unterminated_log =
    ": Попытка уделенного управления. Отказано, т. к. сообщение передано не полностью.";

// What the remote copy sends after "settiAdmi", written here in UTF-8.
std::string push(std::string_view fil_utf8, std::string_view payload_utf8, std::string_view password = "secret") {
  return w(fil_utf8) + ";admin;" + std::string(password) + ";" + w(payload_utf8) + "^";
}

class AdminCommands : public ::testing::Test {
 protected:
  AdminCommands() {
    data.create_tree();
    fs::create_directories(dir.path() / "zvonok");
    channel.remote_admin_allowed = true;
    channel.admin_login = "admin";
    channel.admin_password = "secret";
    access.publish(channel);
  }

  std::vector<std::string> logged() const {
    std::vector<std::string> texts;
    for (const auto& line : log.lines()) {
      EXPECT_EQ(line.rfind(log_prefix, 0), 0u) << line;
      texts.push_back(line.substr(std::string_view(log_prefix).size()));
    }
    return texts;
  }

  // Every file under the data directory with its bytes.
  std::map<std::string, std::string> tree() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      if (!entry.is_regular_file()) continue;
      auto relative = fs::relative(entry.path(), dir.path()).string();
      files[relative] = dir.read(relative);
    }
    return files;
  }

  admin_reloads recording_reloads() {
    auto record = [this](std::string name) {
      return [this, name] {
        reloads_called.push_back(name);
        if (!watched.empty()) seen_at_reload = dir.exists(watched) ? dir.read(watched) : "<missing>";
      };
    };
    return {record("settings"), record("users"), record("classrooms"), record("bells"), record("calendar")};
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  access_settings channel;
  published<access_settings> access;
  user_table users;
  published<greeting> hello{greeting{"v1$8080$8081$$$$$", "web$pw$4F$1$"}};
  login_commands login{users, hello};
  manual_clock clock{make_local(2023, 12, 25, 14, 5, 9)};
  log_switches switches;  // all off: the channel logs regardless
  event_log log{clock, switches};
  std::vector<std::string> reloads_called;
  std::string watched;  // a file read by every reload, to see what it found
  std::string seen_at_reload;
  admin_commands commands{access, login, data, log, recording_reloads()};
};

// ---- "conec" + "Admi" ----

struct conec_case {
  const char* name;
  std::string arguments;
  bool allowed = true;
  std::string channel_login = "admin";
  std::string channel_password = "secret";
  std::string reply;
  std::vector<std::string> log = {};
};
void PrintTo(const conec_case& c, std::ostream* os) { *os << c.name; }

class CredentialCheck : public AdminCommands, public ::testing::WithParamInterface<conec_case> {};

TEST_P(CredentialCheck, AnswersAndLogsExactly) {
  const auto& c = GetParam();
  channel.remote_admin_allowed = c.allowed;
  channel.admin_login = c.channel_login;
  channel.admin_password = c.channel_password;
  access.publish(channel);
  EXPECT_EQ(commands.conec(c.arguments), c.reply);
  EXPECT_EQ(logged(), c.log);
}

const std::string connection_data = "conecv1$8080$8081$$$$$0$web$pw$4F$1$";

INSTANTIATE_TEST_SUITE_P(
    AdminCommands, CredentialCheck,
    ::testing::Values(
        conec_case{.name = "as the remote copy sends it", .arguments = "admin;secret;^", .reply = connection_data},
        conec_case{.name = "nothing after the last separator", .arguments = "admin;secret;", .reply = connection_data},
        conec_case{.name = "switched off, right credentials",
                   .arguments = "admin;secret;^",
                   .allowed = false,
                   .reply = "error",
                   .log = {forbidden_log}},
        conec_case{
            .name = "wrong password", .arguments = "admin;wrong;^", .reply = "error", .log = {wrong_credentials_log}},
        conec_case{.name = "login in other letter case",
                   .arguments = "Admin;secret;^",
                   .reply = "error",
                   .log = {wrong_credentials_log}},
        conec_case{.name = "no separator after the password",
                   .arguments = "admin;secret",
                   .reply = "error",
                   .log = {wrong_credentials_log}},
        conec_case{.name = "empty channel login, empty login sent",
                   .arguments = ";secret;^",
                   .channel_login = "",
                   .reply = "error",
                   .log = {wrong_credentials_log}},
        conec_case{.name = "empty channel credentials, empty ones sent",
                   .arguments = ";;^",
                   .channel_login = "",
                   .channel_password = "",
                   .reply = "error",
                   .log = {wrong_credentials_log}}),
    testing::by_name);

// ---- "setti" + "Admi": the named files ----

struct named_file_case {
  const char* fil_utf8;
  const char* on_disk;
  const char* reply_utf8;
  const char* log_utf8;
  std::vector<std::string> reloads;
};
void PrintTo(const named_file_case& c, std::ostream* os) { *os << c.fil_utf8; }

class NamedFilePush : public AdminCommands, public ::testing::WithParamInterface<named_file_case> {};

TEST_P(NamedFilePush, StoresRepliesLogsThenReloads) {
  const auto& c = GetParam();
  dir.write(c.on_disk, "old 1\r\nold 2\r\nold 3\r\n");
  watched = c.on_disk;
  auto reply = commands.setti(push(c.fil_utf8, "первая$|вторая|"));
  ASSERT_TRUE(reply);
  EXPECT_EQ(to_utf8(*reply), std::string("soobs") + c.reply_utf8);
  EXPECT_EQ(dir.read(c.on_disk), w("первая$\r\nвторая\r\n"));
  EXPECT_EQ(logged(), (std::vector<std::string>{std::string(": ") + c.log_utf8}));
  EXPECT_EQ(reloads_called, c.reloads);
  if (!c.reloads.empty()) {
    EXPECT_EQ(seen_at_reload, w("первая$\r\nвторая\r\n")) << "reloaded before storing";
  }
}

INSTANTIATE_TEST_SUITE_P(AdminCommands, NamedFilePush,
                         ::testing::Values(named_file_case{"setting.ini",
                                                           "setting.ini",
                                                           "Настройки сервера по удаленному доступу успешно переданы.",
                                                           "Настройки сервера по удаленному доступу успешно получены.",
                                                           {"settings"}},
                                           named_file_case{"kalendgraf.rtf",
                                                           "kalendgraf.rtf",
                                                           "Календарный график по удаленному доступу успешно передан.",
                                                           "Календарный график по удаленному доступу успешно получен.",
                                                           {"calendar"}},
                                           named_file_case{"raspisanie\\kab.ini",
                                                           "raspisanie/kab.ini",
                                                           "Список кабинетов по удаленному доступу успешно передан.",
                                                           "Список кабинетов по удаленному доступу успешно получен.",
                                                           {"classrooms"}},
                                           named_file_case{
                                               "users.ini",
                                               "users.ini",
                                               "Список пользователей по удаленному доступу успешно передан.",
                                               "Список пользователей по удаленному доступу успешно получен.",
                                               {"users"}},
                                           named_file_case{"zametki\\data.ini",
                                                           "zametki/data.ini",
                                                           "Заметки по удаленному доступу успешно переданы.",
                                                           "Заметки по удаленному доступу успешно получены.",
                                                           {}},
                                           named_file_case{"news\\data.ini",
                                                           "news/data.ini",
                                                           "Объявления по удаленному доступу успешно переданы.",
                                                           "Объявления по удаленному доступу успешно получены.",
                                                           {}}),
                         testing::by_text_of(&named_file_case::fil_utf8));

TEST_F(AdminCommands, EmptyPayloadDeletesTheDataFilesAndStillConfirms) {
  dir.write("news/data.ini", "record\r\n");
  dir.write("zametki/data.ini", "record\r\n");
  EXPECT_EQ(to_utf8(commands.setti(push("news\\data.ini", "")).value()),
            "soobsОбъявления по удаленному доступу успешно переданы.");
  EXPECT_EQ(to_utf8(commands.setti(push("zametki\\data.ini", "")).value()),
            "soobsЗаметки по удаленному доступу успешно переданы.");
  EXPECT_FALSE(dir.exists("news/data.ini"));
  EXPECT_FALSE(dir.exists("zametki/data.ini"));
  EXPECT_EQ(logged(), (std::vector<std::string>{": Объявления по удаленному доступу успешно получены.",
                                                ": Заметки по удаленному доступу успешно получены."}));
}

TEST_F(AdminCommands, APushedUsersFileIsCreatedForTheOwnerOnly) {
  ASSERT_TRUE(commands.setti(push("users.ini", "x$|")));
  ASSERT_TRUE(commands.setti(push("raspisanie\\kab.ini", "101/|")));
  EXPECT_EQ(fs::status(dir.path() / "users.ini").permissions(), static_cast<fs::perms>(0600));
  EXPECT_EQ(fs::status(dir.path() / "raspisanie/kab.ini").permissions(), static_cast<fs::perms>(0644));
}

TEST_F(AdminCommands, EmptyPayloadEmptiesOtherFilesWithoutDeletingThem) {
  dir.write("users.ini", "old$\r\n");
  ASSERT_TRUE(commands.setti(push("users.ini", "")));
  EXPECT_EQ(dir.read("users.ini"), "");
}

TEST_F(AdminCommands, ZvendStoresNothingAndReloadsTheBells) {
  auto before = tree();
  auto reply = commands.setti(push("zvend", "last schema line|"));
  ASSERT_TRUE(reply);
  EXPECT_EQ(to_utf8(*reply), "soobsСписок звонков по удаленному доступу успешно передан.");
  EXPECT_EQ(tree(), before);
  EXPECT_EQ(reloads_called, (std::vector<std::string>{"bells"}));
  EXPECT_EQ(logged(), (std::vector<std::string>{": Список звонков по удаленному доступу успешно получен."}));
}

// ---- "setti" + "Admi": bell files, stored silently ----

struct bell_file_case {
  const char* name;
  const char* fil_utf8;
  const char* on_disk_utf8;
};
void PrintTo(const bell_file_case& c, std::ostream* os) { *os << c.on_disk_utf8; }

class BellFilePush : public AdminCommands, public ::testing::WithParamInterface<bell_file_case> {};

TEST_P(BellFilePush, IsStoredWithoutReplyOrReloadAndLogsTheBarePrefix) {
  const auto& c = GetParam();
  EXPECT_EQ(commands.setti(push(c.fil_utf8, "8:30:|Основное|")), std::nullopt);
  EXPECT_EQ(dir.read(c.on_disk_utf8), w("8:30:\r\nОсновное\r\n"));
  EXPECT_EQ(logged(), (std::vector<std::string>{": "}));
  EXPECT_TRUE(reloads_called.empty());
}

INSTANTIATE_TEST_SUITE_P(
    AdminCommands, BellFilePush,
    ::testing::Values(bell_file_case{"List", "zvonok\\spisok.ini", "zvonok/spisok.ini"},
                      bell_file_case{"CyrillicSchema", "zvonok\\Основное.ini", "zvonok/Основное.ini"},
                      bell_file_case{"SchemaWithSpaceAndMinus", "zvonok\\5-11 классы.ini", "zvonok/5-11 классы.ini"}),
    testing::by_name);

TEST_F(AdminCommands, MissingFolderEndsThePushWithoutReplyLogOrReload) {
  fs::remove_all(dir.path() / "zvonok");
  EXPECT_THROW(commands.setti(push("zvonok\\spisok.ini", "a|")), data_file_error);
  EXPECT_TRUE(log.lines().empty());
  EXPECT_TRUE(reloads_called.empty());
}

// ---- the payload becomes the file's lines ----

struct payload_case {
  const char* name;
  std::string payload;
  std::string file;
};
void PrintTo(const payload_case& c, std::ostream* os) { *os << c.name; }

class PayloadBytes : public AdminCommands, public ::testing::WithParamInterface<payload_case> {};

TEST_P(PayloadBytes, EachPipeEndedPieceIsOneCrLfLine) {
  const auto& c = GetParam();
  ASSERT_TRUE(commands.setti("users.ini;admin;secret;" + c.payload));
  EXPECT_EQ(dir.read("users.ini"), c.file);
}

INSTANTIATE_TEST_SUITE_P(AdminCommands, PayloadBytes,
                         ::testing::Values(payload_case{"empty", "^", ""}, payload_case{"one empty line", "|^", "\r\n"},
                                           payload_case{"empty line kept in the middle", "a||b|^", "a\r\n\r\nb\r\n"},
                                           payload_case{"text after the last pipe dropped", "a|b|tail^", "a\r\nb\r\n"},
                                           payload_case{"no pipe at all", "tail^", ""},
                                           payload_case{"semicolons belong to the payload", "x;y;|^", "x;y;\r\n"},
                                           payload_case{"text after the caret ignored", "a|^b|^", "a\r\n"},
                                           payload_case{"Windows-1251 bytes kept", w("Иванов$1$|^"),
                                                        w("Иванов$1$\r\n")}),
                         testing::by_name);

// ---- refusals: nothing touched, "error", one log line ----

struct refusal_case {
  const char* name;
  std::string arguments;
  const char* log;
  bool allowed = true;
  std::string channel_login = "admin";
};
void PrintTo(const refusal_case& c, std::ostream* os) { *os << c.name; }

class RefusedPush : public AdminCommands, public ::testing::WithParamInterface<refusal_case> {};

TEST_P(RefusedPush, ChangesNothingAndAnswersError) {
  const auto& c = GetParam();
  channel.remote_admin_allowed = c.allowed;
  channel.admin_login = c.channel_login;
  access.publish(channel);
  dir.write("users.ini", "old$\r\n");
  dir.write("news/data.ini", "record\r\n");
  auto before = tree();
  EXPECT_EQ(commands.setti(c.arguments), std::optional<std::string>("error"));
  EXPECT_EQ(tree(), before);
  EXPECT_TRUE(reloads_called.empty());
  EXPECT_EQ(logged(), (std::vector<std::string>{c.log}));
}

INSTANTIATE_TEST_SUITE_P(
    AdminCommands, RefusedPush,
    ::testing::Values(refusal_case{"wrong password", push("users.ini", "x|", "wrong"), wrong_credentials_log},
                      refusal_case{"wrong login", "users.ini;root;secret;x|^", wrong_credentials_log},
                      refusal_case{"no separator after the password", "users.ini;admin;secret", wrong_credentials_log},
                      refusal_case{"empty channel login, empty login sent", "users.ini;;secret;x|^",
                                   wrong_credentials_log, true, ""},
                      refusal_case{"switched off", push("users.ini", "x|"), forbidden_log, false},
                      refusal_case{"switched off, empty news", push("news\\data.ini", ""), forbidden_log, false},
                      refusal_case{"no caret", "users.ini;admin;secret;x|", unterminated_log},
                      refusal_case{"no caret, empty news", "news\\data.ini;admin;secret;", unterminated_log},
                      refusal_case{"parent folder", push("..\\users.ini", "x|"), unknown_file_log},
                      refusal_case{"drive letter", push("C:\\x", "x|"), unknown_file_log},
                      refusal_case{"absolute path", push("/tmp/users.ini", "x|"), unknown_file_log},
                      refusal_case{"factory settings", push("setting.000", "x|"), unknown_file_log},
                      refusal_case{"name in other letter case", push("Users.ini", "x|"), unknown_file_log},
                      refusal_case{"folder spelt with slash", push("news/data.ini", "x|"), unknown_file_log},
                      refusal_case{"schema name with colon", push("zvonok\\a:b.ini", "x|"), unknown_file_log},
                      refusal_case{"schema name leaving zvonok", push("zvonok\\..\\users.ini", "x|"), unknown_file_log},
                      refusal_case{"schema named like the list", push("zvonok\\Spisok.ini", "x|"), unknown_file_log},
                      refusal_case{"empty schema name", push("zvonok\\.ini", "x|"), unknown_file_log},
                      refusal_case{"bell file without .ini", push("zvonok\\spisok", "x|"), unknown_file_log},
                      refusal_case{"no file name", push("", "x|"), unknown_file_log},
                      // A settings file the loader would stop on must not replace a loadable one.
                      refusal_case{"settings with a broken purge index",
                                   push("setting.ini", std::string(23, '|') + "1;x;|"), unloadable_settings_log}),
    testing::by_name);

}  // namespace
}  // namespace velmira
