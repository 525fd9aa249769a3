#include "web/file_service.hpp"

#include <gtest/gtest.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/event_log.hpp"
#include "core/http_listener.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"
#include "support/line_client.hpp"
#include "support/temp_dir.hpp"
#include "users/roles.hpp"
#include "users/user_table.hpp"

namespace velmira {
namespace {

const std::string valid_authorization = "Basic d2ViOnNlY3JldA==";  // web:secret
const std::string default_body = "<HTML><BODY><B>200 OK</B></BODY></HTML>";
const std::string default_type = "text/html; charset=utf-8";
const std::string file_type = "text/html; charset=windows-1251";
const std::vector<std::pair<std::string, std::string>> no_cache = {{"Cache-Control", "no-cache"}};

access_settings school_settings() { return {"web", "secret", true, "adm", "apw"}; }

TMassLogIn user(std::string active, const std::string& role, std::string login, std::string password) {
  return {std::move(active), from_utf8("Иванов И. И."), "",           role,
          std::move(login),  std::move(password),       roles::yes(), roles::yes(),
          roles::yes()};
}

// A data directory inside a folder that also holds a file outside it, so a
// path that escapes would find something to send.
class FileService : public ::testing::Test {
 protected:
  FileService() {
    write("news/data.ini", from_utf8("Объявление\v\r\n"));
    write("news/error.ini", "");
    write("zametki/data.ini", from_utf8("Заметка\v\r\n"));
    write("zametki/error.ini", "");
    write("raspisanie/05.09.24.ini2", from_utf8("Расписание на 05.09.24\r\n"));
    write("raspisanie/5.9.24.ini2", from_utf8("Расписание на 5.9.24\r\n"));
    write("raspisanie/info.ini", "05.09.24;8:00:00;\r\n");
    write("raspisanie/kab.ini", std::string("101/\x98\x00\xE0/\r\n", 10));
    write("raspisanie/error.ini", placeholder_page());
    write("menu/05.09.24.ini", from_utf8("<p>Меню</p>\r\n"));
    write("menu/05.09.24/1.ini", "menu one\r\n");
    write("menu/05.09.24/10.ini", "menu ten\r\n");
    write("menu/error.ini", placeholder_page());
    write("zvonok/spisok.ini", from_utf8("Основное\r\n"));
    write("zvonok/Основное.ini", from_utf8("8:00:8:45:\r\n"));
    write("users.ini", "1$users$\r\n");
    write("setting.ini", "settings\r\n");
    write("kalendgraf.rtf", "{\\rtf1 calendar}");
    tmp.write("secret.ini", "outside the data directory");
    users.replace({user("0", roles::teacher(), "ivanov", "pw1"), user("1", roles::teacher(), "ivanov", "pw1"),
                   user("0", roles::pupil(), "petrov", "pw2")});
    access.publish(school_settings());
  }

  void write(const std::string& relative_utf8, std::string_view bytes) {
    tmp.write("data/" + relative_utf8, bytes);
  }
  std::string data_bytes(const std::string& relative_utf8) const { return tmp.read("data/" + relative_utf8); }

  http_reply get(const std::string& target, const std::string& authorization = valid_authorization) {
    return service.handle({"GET", target, authorization});
  }

  velmira::testing::temp_dir tmp;
  data_directory data{tmp.path() / "data"};
  user_table users;
  manual_clock clock{make_local(2024, 9, 5, 8, 30, 0)};
  log_switches switches;
  event_log log{clock, switches};
  published<access_settings> access;
  file_service service{data, users, access, log};
};

enum class answer { default_page, file, internal_error };

struct reply_case {
  std::string name;
  std::string target;  // "{outside}" stands for the folder that holds the data directory
  answer kind;
  std::string file = "";  // the data file whose bytes are the body
  std::string authorization = valid_authorization;
  bool cache_control = true;
};

void PrintTo(const reply_case& c, std::ostream* os) { *os << c.target; }

class FileServiceReplies : public FileService, public ::testing::WithParamInterface<reply_case> {};

TEST_P(FileServiceReplies, AnswersAsTheRequestFormSays) {
  const auto& c = GetParam();
  std::string target = c.target;
  if (auto at = target.find("{outside}"); at != std::string::npos) {
    target.replace(at, 9, tmp.path().string());
  }
  auto reply = get(target, c.authorization);

  switch (c.kind) {
    case answer::default_page:
      EXPECT_EQ(reply.status, 200u);
      EXPECT_EQ(reply.content_type, default_type);
      EXPECT_EQ(reply.body, default_body);
      break;
    case answer::file:
      EXPECT_EQ(reply.status, 200u);
      EXPECT_EQ(reply.content_type, file_type);
      EXPECT_EQ(reply.body, data_bytes(c.file));
      break;
    case answer::internal_error:
      EXPECT_EQ(reply.status, 500u);
      EXPECT_EQ(reply.content_type, "text/plain; charset=utf-8");
      EXPECT_EQ(reply.body, "Cannot open the requested file: No such file or directory");
      break;
  }
  EXPECT_EQ(reply.headers, c.cache_control ? no_cache : decltype(no_cache){});
}

// The listener sends what serve() gives; a file's bytes come shared from
// the cache rather than copied, and are the same bytes handle() copies.
TEST_P(FileServiceReplies, ServeSharesTheBytesHandleCopies) {
  const auto& c = GetParam();
  std::string target = c.target;
  if (auto at = target.find("{outside}"); at != std::string::npos) target.replace(at, 9, tmp.path().string());
  auto copied = service.handle({"GET", target, c.authorization});
  auto shared = service.serve({"GET", target, c.authorization});

  EXPECT_EQ(shared.status, copied.status);
  EXPECT_EQ(shared.content_type, copied.content_type);
  EXPECT_EQ(shared.headers, copied.headers);
  EXPECT_EQ(copied.shared_body, nullptr);
  if (c.kind == answer::file) {
    ASSERT_NE(shared.shared_body, nullptr);
    EXPECT_EQ(*shared.shared_body, copied.body);
    EXPECT_TRUE(shared.body.empty());
  } else {
    EXPECT_EQ(shared.body, copied.body);
  }
}

const std::string wrong_password = "Basic d2ViOndyb25n";  // web:wrong
const std::string wrong_user = "Basic b3RoZXI6c2VjcmV0";  // other:secret

INSTANTIATE_TEST_SUITE_P(
    Requests, FileServiceReplies,
    ::testing::Values(
        // Basic credentials
        reply_case{"NoAuthorization", "/news/data.ini", answer::default_page, "", "", false},
        reply_case{"WrongHttpPassword", "/news/data.ini", answer::default_page, "", wrong_password, false},
        reply_case{"WrongHttpUser", "/news/data.ini", answer::default_page, "", wrong_user, false},
        reply_case{"OtherScheme", "/news/data.ini", answer::default_page, "",
                   "Bearer d2ViOnNlY3JldA==", false},
        // plain form
        reply_case{"Root", "/", answer::default_page},
        reply_case{"News", "/news/data.ini", answer::file, "news/data.ini"},
        reply_case{"Notes", "/zametki/data.ini", answer::file, "zametki/data.ini"},
        reply_case{"MissingNewsIni2FallsBack", "/news/data.ini2", answer::file, "news/error.ini"},
        reply_case{"TimetableFourDigitYear", "/raspisanie/05.09.2024.ini2", answer::file,
                   "raspisanie/05.09.24.ini2"},
        reply_case{"TimetableTwoDigitYear", "/raspisanie/05.09.24.ini2", answer::file,
                   "raspisanie/05.09.24.ini2"},
        reply_case{"SingleDigitDayAndMonthKept", "/raspisanie/5.9.24.ini2", answer::file,
                   "raspisanie/5.9.24.ini2"},
        reply_case{"MissingTimetableFallsBack", "/raspisanie/06.09.24.ini2", answer::file,
                   "raspisanie/error.ini"},
        reply_case{"InfoWithoutUserCheck", "/raspisanie/info.ini", answer::file, "raspisanie/info.ini"},
        reply_case{"ClassroomsBytesUnchanged", "/raspisanie/kab.ini", answer::file, "raspisanie/kab.ini"},
        reply_case{"Menu", "/menu/05.09.24.ini", answer::file, "menu/05.09.24.ini"},
        reply_case{"YearShorteningMangles05_09_24_1", "/menu/05.09.24/1.ini", answer::file, "menu/error.ini"},
        reply_case{"YearShorteningLeaves05_09_24_10", "/menu/05.09.24/10.ini", answer::file,
                   "menu/05.09.24/10.ini"},
        reply_case{"HtmlExtensionRefused", "/menu/01.01.24.html", answer::default_page},
        reply_case{"BellList", "/zvonok/spisok.ini", answer::file, "zvonok/spisok.ini"},
        reply_case{"SchemaNameInUtf8", "/zvonok/%D0%9E%D1%81%D0%BD%D0%BE%D0%B2%D0%BD%D0%BE%D0%B5.ini",
                   answer::file, "zvonok/Основное.ini"},
        reply_case{"SchemaNameInWindows1251", "/zvonok/%CE%F1%ED%EE%E2%ED%EE%E5.ini", answer::file,
                   "zvonok/Основное.ini"},
        reply_case{"QueryIgnored", "/zvonok/spisok.ini?t=1", answer::file, "zvonok/spisok.ini"},
        reply_case{"MissingSchemaWithoutErrorIni", "/zvonok/missing.ini", answer::internal_error},
        reply_case{"Calendar", "/kalendgraf.rtf", answer::file, "kalendgraf.rtf"},
        // refused names and the remote-administration form
        reply_case{"UsersRefused", "/users.ini", answer::default_page},
        reply_case{"SettingsRefused", "/setting.ini", answer::default_page},
        reply_case{"EscapedUsersRefused", "/%75sers.ini", answer::default_page},
        reply_case{"AdminGetsUsers", "/^adm;apw^users.ini", answer::file, "users.ini"},
        reply_case{"AdminGetsSettings", "/^adm;apw^setting.ini", answer::file, "setting.ini"},
        reply_case{"AdminPlainRulesAfterCaret", "/^adm;apw^news/data.ini", answer::file, "news/data.ini"},
        reply_case{"AdminOnlyLoginRight", "/^adm;wrong^users.ini", answer::default_page},
        reply_case{"AdminOnlyPasswordRight", "/^other;apw^users.ini", answer::default_page},
        reply_case{"AdminWithoutSecondCaret", "/^adm;apwusers.ini", answer::default_page},
        // user-check form
        reply_case{"UserCheckKnownUser", "//ivanov&pw1&Uhit&/raspisanie/info.ini", answer::file,
                   "raspisanie/info.ini"},
        reply_case{"UserCheckWrongPassword", "//ivanov&pw9&Uhit&/raspisanie/info.ini", answer::default_page},
        reply_case{"UserCheckWrongRole", "//ivanov&pw1&Uche&/raspisanie/info.ini", answer::default_page},
        reply_case{"UserCheckBlockedUser", "//petrov&pw2&Uche&/raspisanie/info.ini", answer::default_page},
        reply_case{"UserCheckWithoutFields", "//raspisanie/info.ini", answer::default_page},
        // paths that would leave the data directory
        reply_case{"DotDot", "/../secret.ini", answer::default_page},
        reply_case{"EscapedDotDot", "/%2e%2e/secret.ini", answer::default_page},
        reply_case{"DotDotInsideFolder", "/news/../../secret.ini", answer::default_page},
        reply_case{"DotDotToRefusedName", "/news/%2E%2E/users.ini", answer::default_page},
        reply_case{"BackslashDotDot", "/news/..%5Cusers.ini", answer::default_page},
        reply_case{"DotToRefusedName", "/./setting.ini", answer::default_page},
        reply_case{"AbsolutePath", "/{outside}/secret.ini", answer::default_page},
        reply_case{"Nul", "/news/data%00.ini", answer::default_page},
        reply_case{"ControlCharacter", "/news/%0Adata.ini", answer::default_page},
        reply_case{"AdminDotDot", "/^adm;apw^../secret.ini", answer::default_page}),
    testing::by_name);

TEST_F(FileService, MissingCalendarIsAnInternalError) {
  std::filesystem::remove(tmp.path() / "data" / "kalendgraf.rtf");
  auto reply = get("/kalendgraf.rtf");
  EXPECT_EQ(reply.status, 500u);
  EXPECT_EQ(reply.headers, no_cache);
}

TEST_F(FileService, TheOperatorKeyAndTheLockAreServedToNobody) {
  write("console.key", "0123456789abcdef0123456789abcdef\n");
  write(".velmira.lock", "4242\n");
  for (const char* target : {"/console.key", "/^adm;apw^console.key", "/console.key?x", "/.velmira.lock",
                             "/^adm;apw^.velmira.lock", "/%2Evelmira.lock"}) {
    EXPECT_EQ(get(target).body, default_body) << target;
  }
}

TEST_F(FileService, RemoteAdministrationNeedsTheSwitchAndBothSettings) {
  struct variant {
    const char* what;
    access_settings settings;
    std::string target;
  };
  const std::vector<variant> refused = {
      {"switch off", {"web", "secret", false, "adm", "apw"}, "/^adm;apw^users.ini"},
      {"empty login", {"web", "secret", true, "", "apw"}, "/^;apw^users.ini"},
      {"empty password", {"web", "secret", true, "adm", ""}, "/^adm;^users.ini"},
      {"both empty", {"web", "secret", true, "", ""}, "/^;^users.ini"},
  };
  for (const auto& v : refused) {
    access.publish(v.settings);
    auto reply = get(v.target);
    EXPECT_EQ(reply.body, default_body) << v.what;
    EXPECT_EQ(reply.headers, no_cache) << v.what;
  }
}

TEST_F(FileService, PublishedSettingsTakeEffectForTheNextRequest) {
  auto settings = school_settings();
  settings.http_password = "wrong";
  access.publish(settings);
  EXPECT_EQ(get("/news/data.ini").body, default_body);
  EXPECT_EQ(get("/news/data.ini", wrong_password).body, data_bytes("news/data.ini"));
}

TEST_F(FileService, NothingIsServedBeforeSettingsArePublished) {
  published<access_settings> nothing_loaded;
  file_service fresh(data, users, nothing_loaded, log);
  auto reply = fresh.handle({"GET", "/news/data.ini", "Basic Og=="});  // empty login and password
  EXPECT_EQ(reply.body, default_body);
  EXPECT_TRUE(reply.headers.empty());
}

TEST_F(FileService, UserCheckReadsTheCurrentUserTable) {
  const std::string target = "//sidorov&pw3&Disp&/raspisanie/info.ini";
  EXPECT_EQ(get(target).body, default_body);
  users.replace({user("1", roles::dispatcher(), "sidorov", "pw3")});
  EXPECT_EQ(get(target).body, data_bytes("raspisanie/info.ini"));
}

struct log_case {
  std::string name;
  std::string target;
  std::optional<log_category> category;  // none: the request logs nothing
  std::string line_utf8 = "";
};

void PrintTo(const log_case& c, std::ostream* os) { *os << c.target; }

class FileServiceLog : public FileService, public ::testing::WithParamInterface<log_case> {
 protected:
  void set_all_switches(bool on) {
    for (int line = first_log_switch_line; line < first_log_switch_line + log_switch_count; ++line) {
      switches.set(static_cast<log_category>(line), on);
    }
  }
};

TEST_P(FileServiceLog, WritesItsLineOnlyWhileItsSwitchIsOn) {
  const auto& c = GetParam();
  set_all_switches(true);
  if (!c.category) {
    get(c.target);
    EXPECT_TRUE(log.lines().empty());
    return;
  }
  switches.set(*c.category, false);
  get(c.target);
  EXPECT_TRUE(log.lines().empty()) << "with its switch off";

  set_all_switches(false);
  switches.set(*c.category, true);
  get(c.target);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"[05.09.2024] 8:30:00" + c.line_utf8});
}

INSTANTIATE_TEST_SUITE_P(
    Requests, FileServiceLog,
    ::testing::Values(
        log_case{"News", "/news/data.ini", log_category::news_views, ": просмотр новостей"},
        log_case{"Notes", "/zametki/data.ini", log_category::notes_views, ": просмотр заметок"},
        log_case{"Timetable", "/raspisanie/05.09.2024.ini2", log_category::timetable_views,
                 ": просмотр расписания на 05.09.24"},
        log_case{"MissingTimetable", "/raspisanie/06.09.24.ini2", log_category::timetable_views,
                 ": просмотр расписания на 06.09.24"},
        log_case{"PlainInfo", "/raspisanie/info.ini", log_category::timetable_views,
                 ": просмотр расписания на info"},
        log_case{"Menu", "/menu/05.09.24.ini", log_category::menu_views, ": просмотр меню на 05.09.24"},
        log_case{"MangledMenu", "/menu/05.09.24/1.ini", log_category::menu_views,
                 ": просмотр меню на 05.09./1"},
        log_case{"BellList", "/zvonok/spisok.ini", log_category::bell_list_views,
                 ": просмотр списка звонков"},
        log_case{"UserCheck", "//ivanov&pw1&Uhit&/raspisanie/info.ini", log_category::info_checks,
                 ": ivanov Uhit просмотр новой информации"},
        log_case{"AdminNews", "/^adm;apw^news/data.ini", log_category::news_views, ": просмотр новостей"},
        log_case{"Classrooms", "/raspisanie/kab.ini", std::nullopt},
        log_case{"TimetablePlaceholder", "/raspisanie/error.ini", std::nullopt},
        log_case{"NewsPlaceholder", "/news/error.ini", std::nullopt},
        log_case{"Schema", "/zvonok/%D0%9E%D1%81%D0%BD%D0%BE%D0%B2%D0%BD%D0%BE%D0%B5.ini", std::nullopt},
        log_case{"Calendar", "/kalendgraf.rtf", std::nullopt},
        log_case{"AdminUsers", "/^adm;apw^users.ini", std::nullopt},
        log_case{"UserCheckRefused", "//ivanov&pw9&Uhit&/raspisanie/info.ini", std::nullopt},
        log_case{"ExtensionRefused", "/menu/01.01.24.html", std::nullopt},
        log_case{"EscapeRefused", "/raspisanie/../raspisanie/05.09.24.ini2", std::nullopt},
        log_case{"AdminRefused", "/^adm;wrong^news/data.ini", std::nullopt}),
    testing::by_name);

TEST_F(FileService, WrongHttpCredentialsLogNothing) {
  switches.set(log_category::news_views, true);
  get("/news/data.ini", wrong_password);
  get("/news/data.ini", "");
  EXPECT_TRUE(log.lines().empty());
}

// A clock an hour ahead makes every file the test writes old enough for the
// cache to keep, so these requests are served from memory when they can be.
std::chrono::system_clock::time_point an_hour_ahead() {
  return std::chrono::system_clock::now() + std::chrono::hours(1);
}

class CachingFileService : public FileService {
 protected:
  CachingFileService() { access.publish(school_settings()); }

  std::shared_ptr<const std::string> served(const std::string& target) {
    return cached.serve({"GET", target, valid_authorization}).shared_body;
  }

  file_service cached{data, users, access, log, an_hour_ahead};
};

TEST_F(CachingFileService, AnUnchangedFileIsServedFromMemory) {
  auto first = served("/news/data.ini");
  auto second = served("/news/data.ini");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first.get(), second.get());
}

// Announcements and timetables are rewritten by rename, the way every data
// file is: same size and time here, so only the new inode tells.
TEST_F(CachingFileService, AFileReplacedByRenameIsServedFresh) {
  const auto file = tmp.path() / "data" / "news" / "data.ini";
  const std::string before = data_bytes("news/data.ini");
  ASSERT_EQ(*served("/news/data.ini"), before);
  const auto time = std::filesystem::last_write_time(file);
  std::string after = before;
  after[0] = 'X';
  replace_file_atomically(file, after);
  std::filesystem::last_write_time(file, time);
  EXPECT_EQ(*served("/news/data.ini"), after);
}

TEST_F(CachingFileService, AFileRewrittenInPlaceIsServedFresh) {
  ASSERT_EQ(*served("/zametki/data.ini"), data_bytes("zametki/data.ini"));
  write("zametki/data.ini", from_utf8("Другая заметка\v\r\n"));
  EXPECT_EQ(*served("/zametki/data.ini"), from_utf8("Другая заметка\v\r\n"));
}

// A path's route is kept, but not which of its files was there.
TEST_F(CachingFileService, ATimetablePublishedAfterAMissIsServed) {
  ASSERT_EQ(*served("/raspisanie/07.09.24.ini2"), data_bytes("raspisanie/error.ini"));
  write("raspisanie/07.09.24.ini2", "rasp||07.09.24\r\n");
  EXPECT_EQ(*served("/raspisanie/07.09.24.ini2"), "rasp||07.09.24\r\n");
}

// Links are put in a data directory by hand only: the server writes every
// file itself, by rename, never as a link. One may lead anywhere, so none
// is followed, not even one that stays inside and names a file that could
// be served.
struct link_case {
  std::string name;
  std::function<void(const fs::path& data, const fs::path& outside)> make;
  std::string target;
};

void PrintTo(const link_case& c, std::ostream* os) { *os << c.name; }

class FileServiceLinks : public FileService, public ::testing::WithParamInterface<link_case> {};

TEST_P(FileServiceLinks, AreRefusedLikeAPathLeavingTheDataDirectory) {
  GetParam().make(tmp.path() / "data", tmp.path());
  for (int line = first_log_switch_line; line < first_log_switch_line + log_switch_count; ++line) {
    switches.set(static_cast<log_category>(line), true);
  }
  auto reply = get(GetParam().target);
  EXPECT_EQ(reply.content_type, default_type);
  EXPECT_EQ(reply.body, default_body);
  EXPECT_EQ(reply.headers, no_cache);
  EXPECT_TRUE(log.lines().empty()) << "a refused path is no view";
}

INSTANTIATE_TEST_SUITE_P(
    Links, FileServiceLinks,
    ::testing::Values(
        link_case{"ToAFileOutside",
                  [](const fs::path& data, const fs::path& outside) {
                    fs::create_symlink(outside / "secret.ini", data / "menu" / "07.09.24.ini");
                  },
                  "/menu/07.09.24.ini"},
        link_case{"ToUsersIni",
                  [](const fs::path& data, const fs::path&) {
                    fs::create_symlink("../users.ini", data / "news" / "list.ini");
                  },
                  "/news/list.ini"},
        link_case{"AbsoluteToSettingIni",
                  [](const fs::path& data, const fs::path&) {
                    fs::create_symlink(data / "setting.ini", data / "raspisanie" / "08.09.24.ini2");
                  },
                  "/raspisanie/08.09.24.ini2"},
        link_case{"FolderLeadingOutside",
                  [](const fs::path& data, const fs::path& outside) {
                    fs::create_directory_symlink(outside, data / "outside");
                  },
                  "/outside/secret.ini"},
        link_case{"InsideToAnAllowedFile",
                  [](const fs::path& data, const fs::path&) {
                    fs::create_symlink("data.ini", data / "news" / "alias.ini");
                  },
                  "/news/alias.ini"},
        // The missing file's fallback is refused too, not served instead.
        link_case{"ErrorIniToUsersIni",
                  [](const fs::path& data, const fs::path&) {
                    fs::create_symlink("../users.ini", data / "zvonok" / "error.ini");
                  },
                  "/zvonok/missing.ini"}),
    testing::by_name);

// A link made after its path was served and kept: the path's stat then
// finds another file than the one kept, and the link is looked at anew.
class CachingFileServiceLinks : public CachingFileService, public ::testing::WithParamInterface<link_case> {};

TEST_P(CachingFileServiceLinks, MadeAfterTheFileWasKeptAreRefused) {
  const auto first = served("/news/data.ini");
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(served("/news/data.ini"), first) << "kept";
  GetParam().make(tmp.path() / "data", tmp.path());
  EXPECT_EQ(cached.serve({"GET", GetParam().target, valid_authorization}).body, default_body);
}

INSTANTIATE_TEST_SUITE_P(
    Links, CachingFileServiceLinks,
    ::testing::Values(
        link_case{"FileReplacedByALinkOutside",
                  [](const fs::path& data, const fs::path& outside) {
                    fs::create_symlink(outside / "secret.ini", data / "news" / "link.tmp");
                    fs::rename(data / "news" / "link.tmp", data / "news" / "data.ini");
                  },
                  "/news/data.ini"},
        link_case{"FileReplacedByALinkToUsersIni",
                  [](const fs::path& data, const fs::path&) {
                    fs::create_symlink("../users.ini", data / "news" / "link.tmp");
                    fs::rename(data / "news" / "link.tmp", data / "news" / "data.ini");
                  },
                  "/news/data.ini"},
        link_case{"FolderReplacedByALinkOutside",
                  [](const fs::path& data, const fs::path& outside) {
                    fs::create_directory(outside / "elsewhere");
                    replace_file_atomically(outside / "elsewhere" / "data.ini", "elsewhere");
                    fs::rename(data / "news", data / "news.old");
                    fs::create_directory_symlink(outside / "elsewhere", data / "news");
                  },
                  "/news/data.ini"}),
    testing::by_name);

// One connection's requests in turn: the header is checked when it first
// comes and again whenever it or the published settings change.
struct connection_step {
  std::variant<std::string, access_settings> sent;  // an Authorization header, or settings to publish
  answer expected = answer::file;
};

TEST_F(FileService, CredentialsAreCheckedAgainWhenTheHeaderOrTheSettingsChange) {
  auto new_password = school_settings();
  new_password.http_password = "wrong";
  const std::vector<connection_step> steps = {
      {valid_authorization},
      {valid_authorization},
      {new_password},
      {valid_authorization, answer::default_page},
      {wrong_password},
      {school_settings()},
      {wrong_password, answer::default_page},
      {valid_authorization},
      {"", answer::default_page},
  };
  std::unique_ptr<http_connection_memo> memo;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (const auto* settings = std::get_if<access_settings>(&steps[i].sent)) {
      access.publish(*settings);
      continue;
    }
    auto reply = service.handle({"GET", "/news/data.ini", std::get<std::string>(steps[i].sent), &memo});
    const bool served_file = reply.body == data_bytes("news/data.ini");
    EXPECT_EQ(served_file, steps[i].expected == answer::file) << "step " << i;
  }
}

class io_thread {
 public:
  io_thread() : thread_([this] { io.run(); }) {}
  ~io_thread() {
    work_.reset();
    io.stop();
    thread_.join();
  }
  boost::asio::io_context io;

 private:
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_{io.get_executor()};
  std::thread thread_;
};

TEST_F(FileService, CredentialsChangedInTheSettingsTakeEffectOnAnOpenKeepAliveConnection) {
  io_thread pool;
  http_listener listener(pool.io, service, log);
  ASSERT_FALSE(listener.start("127.0.0.1", 0));
  const auto port = listener.local_port();
  const std::string request =
      "GET /news/data.ini HTTP/1.1\r\nHost: school\r\nAuthorization: " + valid_authorization + "\r\n\r\n";
  const std::string news = data_bytes("news/data.ini");
  const std::string file_reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1251\r\n"
                                 "Cache-Control: no-cache\r\nContent-Length: " +
                                 std::to_string(news.size()) + "\r\n\r\n" + news;
  const std::string default_reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                                    "Content-Length: 39\r\n\r\n" + default_body;

  velmira::testing::line_client c(port);
  c.send(request);
  EXPECT_EQ(c.read_bytes(file_reply.size()), file_reply);
  auto settings = school_settings();
  settings.http_password = "changed";
  access.publish(settings);
  c.send(request);
  EXPECT_EQ(c.read_bytes(default_reply.size()), default_reply);
  listener.stop();
}

}  // namespace
}  // namespace velmira
