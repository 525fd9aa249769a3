// The "Пользователи" page over the operator console's HTTP API: the form,
// the list's operations with their questions, saving, import and export.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/text_codec.hpp"
#include "integration/console_fixture.hpp"

namespace velmira::testing {
namespace {

using json = nlohmann::json;
using ::testing::HasSubstr;

const std::string three_users =
    user_line({"1", "Волков", "", "Учитель", "volkov", "v1", "Да", "Да", "Нет"}) + "\r\n" +
    user_line({"0", "Андреев", "10Ё", "Ученик", "andreev", "a1", "Да", "Нет", "Нет"}) + "\r\n" +
    user_line({"1", "", "", "Диспетчер", "disp", "d1", "Да", "Нет", "Да"}) + "\r\n";

class UsersConsole : public console_fixture {
 protected:
  UsersConsole() : console_fixture(three_users) {}

  json post(const std::string& path, const json& body = json::object()) {
    auto reply = with_key("POST", path, body.dump());
    EXPECT_EQ(reply.status, 200) << path << " " << reply.text;
    return reply.body;
  }
  json page() { return with_key("GET", "/api/users").body; }
  std::vector<std::string> logins() {
    std::vector<std::string> out;
    auto shown = page();
    for (const auto& row : shown["rows"]) out.push_back(row["login"]);
    return out;
  }
  // A user that logs in as a teacher ("Uhit") over the client protocol.
  bool teacher_logs_in(const std::string& login, const std::string& password) {
    auto client = server.connect();
    client->send("conecUhit" + login + ";" + password + ";\r\n");
    return client->read_bytes(5) == "conec";
  }
  http_answer import_csv(const std::string& csv, const std::string& query = "") {
    return with_key("POST", "/api/users/import" + query, csv, "Content-Type: text/csv; charset=utf-8\r\n");
  }
};

json teacher_form(const std::string& login, const std::string& password, const std::string& full_name) {
  return {{"login", login},       {"password", password},     {"full_name", full_name},
          {"role", "Учитель"},    {"class_number", nullptr},  {"class_letter", nullptr},
          {"active", true},       {"may_read_news", true},    {"may_publish_news", false},
          {"may_publish_notes", false}};
}

TEST_F(UsersConsole, ThePageListsTheTableInOrderAndTheFormsChoices) {
  auto shown = page();
  ASSERT_EQ(shown["rows"].size(), 3u);
  EXPECT_EQ(shown["rows"][1], (json{{"active", false},
                                    {"full_name", "Андреев"},
                                    {"class", "10Ё"},
                                    {"role", "Ученик"},
                                    {"login", "andreev"},
                                    {"password", "a1"},
                                    {"may_read_news", true},
                                    {"may_publish_news", false},
                                    {"may_publish_notes", false}}));
  EXPECT_EQ(shown["roles"], (json{"Директор", "Заместитель директора", "Учитель", "Диспетчер", "Родитель", "Ученик",
                                  "Столовая"}));
  EXPECT_EQ(shown["class_numbers"].size(), 11u);
  EXPECT_EQ(shown["class_letters"].front(), "А");
  EXPECT_EQ(shown["class_letters"].back(), "П");
  EXPECT_EQ(shown["columns"].size(), 8u);
  // As a load leaves it: no role, nothing enabled.
  EXPECT_TRUE(shown["form"]["role"].is_null());
  EXPECT_EQ(shown["enabled"], (json{{"class_number", false},
                                    {"class_letter", false},
                                    {"may_publish_news", false},
                                    {"may_publish_notes", false}}));
}

struct form_case {
  const char* what;
  json values;
  json form_after;  // the fields the role rules decide
  json enabled;
};

TEST_F(UsersConsole, TheFormTakesValuesAndTheRoleRulesWithoutSavingAnything) {
  const form_case cases[] = {
      {"pupil with a name keeps the class",
       {{"full_name", "Петров"}, {"role", "Ученик"}, {"class_number", 5}, {"class_letter", "А"},
        {"may_publish_news", true}},
       {{"class_number", 5}, {"class_letter", "А"}, {"may_publish_news", true}, {"may_publish_notes", false}},
       {{"class_number", true}, {"class_letter", true}, {"may_publish_news", true}, {"may_publish_notes", true}}},
      {"teacher loses the class chosen",
       {{"full_name", "Петров"}, {"role", "Учитель"}, {"class_number", 5}, {"class_letter", "А"}},
       {{"class_number", nullptr}, {"class_letter", nullptr}, {"may_publish_news", false}, {"may_publish_notes", false}},
       {{"class_number", false}, {"class_letter", false}, {"may_publish_news", true}, {"may_publish_notes", true}}},
      {"dispatcher without a name publishes notes",
       {{"role", "Диспетчер"}, {"may_publish_news", true}},
       {{"class_number", nullptr}, {"class_letter", nullptr}, {"may_publish_news", false}, {"may_publish_notes", true}},
       {{"class_number", false}, {"class_letter", false}, {"may_publish_news", false}, {"may_publish_notes", false}}},
  };
  auto file_before = server.dir().read("users.ini");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto reply = post("/api/users/form", c.values);
    EXPECT_EQ(reply["messages"], json::array());
    EXPECT_TRUE(reply["question"].is_null());
    for (const auto& [field, value] : c.form_after.items()) EXPECT_EQ(reply["page"]["form"][field], value) << field;
    EXPECT_EQ(reply["page"]["enabled"], c.enabled);
    EXPECT_EQ(page()["form"], reply["page"]["form"]) << "the form keeps what it took";
  }
  EXPECT_EQ(page()["rows"].size(), 3u);
  EXPECT_EQ(server.dir().read("users.ini"), file_before);
}

TEST_F(UsersConsole, AddingAUserLetsItLogInAtOnceAndSavingWritesTheFile) {
  auto added = post("/api/users/add", teacher_form("newteach", "np", "Новиков"));
  EXPECT_EQ(added["messages"], json::array());
  EXPECT_TRUE(added["question"].is_null());
  ASSERT_EQ(added["page"]["rows"].size(), 4u);
  EXPECT_EQ(added["page"]["rows"][3]["full_name"], "Новиков");
  EXPECT_EQ(added["page"]["form"]["login"], "");
  EXPECT_EQ(added["page"]["form"]["role"], "Директор") << "a cleared form selects the first role";
  EXPECT_TRUE(teacher_logs_in("newteach", "np")) << "log-ins see the table before it is saved";
  EXPECT_THAT(to_utf8(server.dir().read("users.ini")), ::testing::Not(HasSubstr("newteach")));

  post("/api/users/save");
  EXPECT_EQ(to_utf8(server.dir().read("users.ini")),
            three_users + user_line({"1", "Новиков", "", "Учитель", "newteach", "np", "Да", "Нет", "Нет"}) + "\r\n");
}

TEST_F(UsersConsole, AnExistingLoginIsAskedAboutAndOnlyYesChangesIt) {
  auto form = teacher_form("volkov", "changed", "Волков");
  auto asked = post("/api/users/add", form);
  EXPECT_EQ(asked["question"],
            (json{{"caption", "Внимание!"}, {"text", "Такой пользователь уже существует.\nВнести изменения?"}}));
  EXPECT_EQ(asked["page"]["rows"][0]["password"], "v1");

  form["answer"] = "no";
  auto kept = post("/api/users/add", form);
  EXPECT_TRUE(kept["question"].is_null());
  EXPECT_EQ(kept["page"]["rows"][0]["password"], "v1");
  EXPECT_EQ(kept["page"]["form"]["password"], "changed") << "No keeps the form filled";

  form["answer"] = "yes";
  auto changed = post("/api/users/add", form);
  EXPECT_EQ(changed["page"]["rows"].size(), 3u);
  EXPECT_EQ(changed["page"]["rows"][0]["password"], "changed");
  EXPECT_TRUE(teacher_logs_in("volkov", "changed"));
}

TEST_F(UsersConsole, ARefusedAddShowsItsMessageAndChangesNothing) {
  auto no_role = teacher_form("x", "y", "");
  no_role["role"] = nullptr;
  EXPECT_EQ(post("/api/users/add", no_role)["messages"], json::array({"Нужно указать роль"}));
  EXPECT_EQ(post("/api/users/add", teacher_form("иван", "y", ""))["messages"],
            json::array({"Логин или пароль содержат недопустимые символы.\n"
                         "Логин и пароль могут содержать лишь цифры и латинские буквы."}));
  EXPECT_EQ(post("/api/users/add", teacher_form("x", "y", "A|B"))["messages"],
            json::array({"ФИО не может содержать знаки | и ^"}));
  EXPECT_EQ(page()["rows"].size(), 3u);
}

TEST_F(UsersConsole, DeleteAsksWithTheNameNoScoldsAndYesRemovesTheRow) {
  auto asked = post("/api/users/delete", {{"row", 1}});
  EXPECT_EQ(asked["question"]["text"], "Вы действительно хотите удалить \nАндреев");
  auto no = post("/api/users/delete", {{"row", 1}, {"answer", "no"}});
  EXPECT_EQ(no["messages"], json::array({"Какие вы не решительные"}));
  EXPECT_EQ(no["page"]["rows"].size(), 3u);
  auto yes = post("/api/users/delete", {{"row", 1}, {"answer", "yes"}});
  EXPECT_EQ(yes["messages"], json::array());
  EXPECT_EQ(logins(), (std::vector<std::string>{"volkov", "disp"}));
  EXPECT_EQ(with_key("POST", "/api/users/delete", json{{"row", 2}, {"answer", "yes"}}.dump()).status, 400)
      << "a row the table no longer has";
}

struct all_flags_case {
  const char* path;
  const char* question;
  bool active;
};

TEST_F(UsersConsole, BlockAndActivateAllAskFirstAndOnNoChangeNothing) {
  const all_flags_case cases[] = {{"/api/users/block_all", "Заблокировать всех пользователей?", false},
                                  {"/api/users/activate_all", "Активировать всех пользователей?", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto before = page()["rows"];
    EXPECT_EQ(post(c.path)["question"]["text"], c.question);
    auto no = post(c.path, {{"answer", "no"}});
    EXPECT_EQ(no["messages"], json::array({"Вы уж определитесь"}));
    EXPECT_EQ(no["page"]["rows"], before);
    auto yes = post(c.path, {{"answer", "yes"}});
    for (const auto& row : yes["page"]["rows"]) EXPECT_EQ(row["active"], c.active);
  }
}

TEST_F(UsersConsole, AfterSortingACheckBoxChangesTheUserShownInItsRow) {
  EXPECT_EQ(post("/api/users/sort", {{"by", "login"}})["page"]["rows"][0]["login"], "andreev");
  EXPECT_EQ(logins(), (std::vector<std::string>{"andreev", "disp", "volkov"}));
  auto checked = post("/api/users/checks", {{"active", {true, true, false}}});
  EXPECT_EQ(checked["page"]["rows"][0]["active"], true);
  EXPECT_EQ(checked["page"]["rows"][2]["active"], false);
  EXPECT_FALSE(teacher_logs_in("volkov", "v1")) << "blocked";
  // By full name: the empty name of the dispatcher sorts first.
  EXPECT_EQ(post("/api/users/sort", {{"by", "full_name"}})["page"]["rows"][0]["login"], "disp");
}

TEST_F(UsersConsole, LoadingARowFillsTheFormAndClearingEmptiesIt) {
  auto loaded = post("/api/users/load_row", {{"row", 1}});
  const auto& form = loaded["page"]["form"];
  EXPECT_EQ(form["login"], "andreev");
  EXPECT_EQ(form["full_name"], "Андреев");
  EXPECT_EQ(form["role"], "Ученик");
  EXPECT_EQ(form["class_number"], 10);
  EXPECT_EQ(form["class_letter"], "Ё");
  EXPECT_EQ(form["active"], false);
  EXPECT_EQ(loaded["page"]["enabled"]["class_letter"], true);

  auto cleared = post("/api/users/clear");
  EXPECT_EQ(cleared["page"]["form"]["login"], "");
  EXPECT_EQ(cleared["page"]["form"]["full_name"], "");
  EXPECT_TRUE(cleared["page"]["form"]["class_number"].is_null());
  EXPECT_EQ(cleared["page"]["enabled"]["class_number"], false);
}

TEST_F(UsersConsole, MalformedBodiesAreBadRequestsAndChangeNothing) {
  const std::pair<const char*, std::string> cases[] = {
      {"/api/users/add", R"({"login": "a", "password": "b", "role": "Учитель", "class_number": "5"})"},
      {"/api/users/add", R"({"login": 5})"},
      {"/api/users/add", R"({"login": "a", "password": "b", "role": "Учитель", "answer": "maybe"})"},
      {"/api/users/form", R"({"active": "yes"})"},
      {"/api/users/delete", "{}"},
      {"/api/users/load_row", R"({"row": "first"})"},
      {"/api/users/load_row", R"({"row": 3})"},
      {"/api/users/checks", R"({"active": true})"},
      {"/api/users/checks", R"({"active": [true]})"},
      {"/api/users/sort", R"({"by": "role"})"},
      {"/api/users/block_all", "[]"},
      {"/api/users/save", "{not json"},
  };
  auto before = page();
  for (const auto& [path, body] : cases) EXPECT_EQ(with_key("POST", path, body).status, 400) << path << " " << body;
  EXPECT_EQ(page(), before);
}

TEST_F(UsersConsole, AnImportReportsEveryRowAddsTheGoodOnesAndSavesNothing) {
  const std::string csv =
      "Роль;Логин;Пароль;ФИО;Класс\r\n"
      "Ученик;pupil1;p1;Сидоров Сидор;7Б\r\n"
      "Ученик;пупил;p2;Кириллов;7Б\r\n"  // a Cyrillic login
      "Ученик;pupil3;p3;Классов;12Я\r\n"  // no such class
      "Учитель;volkov;x;Волков;\r\n"      // an existing user
      "Родитель;parent4;p4;Сидорова;7 б\r\n";
  auto file_before = server.dir().read("users.ini");
  auto reply = import_csv(csv);
  ASSERT_EQ(reply.status, 200) << reply.text;
  EXPECT_EQ(reply.body["messages"], json::array());
  const auto& report = reply.body["report"];
  EXPECT_TRUE(report["error"].is_null());
  EXPECT_EQ(report["added"], 2);
  std::vector<std::pair<int, std::string>> outcomes;
  for (const auto& row : report["rows"]) outcomes.emplace_back(row["line"], row["outcome"]);
  EXPECT_EQ(outcomes, (std::vector<std::pair<int, std::string>>{
                          {2, "added"}, {3, "refused"}, {4, "refused"}, {5, "exists"}, {6, "added"}}));
  EXPECT_THAT(report["rows"][1]["message"].get<std::string>(), HasSubstr("недопустимые символы"));
  EXPECT_THAT(report["rows"][2]["message"].get<std::string>(), HasSubstr("12Я"));
  EXPECT_EQ(report["rows"][3]["row"], 0);
  EXPECT_EQ(report["rows"][3]["message"], "Такой пользователь уже существует.");

  auto rows = reply.body["page"]["rows"];
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0]["password"], "v1") << "a matching user is not changed";
  EXPECT_EQ(rows[3]["class"], "7Б");
  EXPECT_EQ(rows[4]["class"], "7Б");
  EXPECT_EQ(server.dir().read("users.ini"), file_before);
}

TEST_F(UsersConsole, AnImportThatIsNoClassListIsRefusedWholeAndOnlyAsCsv) {
  auto refused = import_csv("ФИО;Класс\r\nИванов;5А\r\n");
  ASSERT_EQ(refused.status, 200);
  EXPECT_EQ(refused.body["messages"], json::array({"В заголовке нет обязательных столбцов: Роль, Логин, Пароль"}));
  EXPECT_EQ(refused.body["report"]["error"], refused.body["messages"][0]);
  EXPECT_EQ(refused.body["page"]["rows"].size(), 3u);

  auto as_json = with_key("POST", "/api/users/import", "{}", "Content-Type: application/json\r\n");
  EXPECT_EQ(as_json.status, 415);
}

TEST_F(UsersConsole, EightHundredPupilsInOneUploadAndGeneratedLoginsInTheExport) {
  std::string csv = "ФИО;Класс;Роль;Логин;Пароль\r\n";
  for (int i = 0; i < 800; ++i) {
    csv += "Учащийся Номер " + std::to_string(i) + " Отчествович Фамильяров;" + std::to_string(1 + i % 11) +
           "А;Ученик;;\r\n";
  }
  ASSERT_GT(csv.size(), 64u * 1024) << "larger than a request of the file service may be";
  auto reply = import_csv(csv, "?generate=1");
  ASSERT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body["report"]["added"], 800);
  auto last = reply.body["report"]["rows"][799];
  EXPECT_FALSE(last["login"].get<std::string>().empty());
  EXPECT_FALSE(last["password"].get<std::string>().empty());

  auto exported = with_key("GET", "/api/users/export.csv");
  ASSERT_EQ(exported.status, 200);
  EXPECT_THAT(exported.text, HasSubstr(";" + last["login"].get<std::string>() + ";" + last["password"].get<std::string>()));
}

TEST_F(UsersConsole, TheExportIsADownloadThatImportsBackToTheSameTable) {
  auto exported = with_key("GET", "/api/users/export.csv");
  ASSERT_EQ(exported.status, 200);
  EXPECT_THAT(exported.head, HasSubstr("Content-Type: text/csv; charset=utf-8"));
  EXPECT_THAT(exported.head, HasSubstr("Content-Disposition: attachment; filename=\"users.csv\""));
  auto before = page()["rows"];

  for (int i = 0; i < 3; ++i) post("/api/users/delete", {{"row", 0}, {"answer", "yes"}});
  ASSERT_EQ(page()["rows"], json::array());
  auto imported = import_csv(exported.text);
  EXPECT_EQ(imported.body["report"]["added"], 3);
  EXPECT_EQ(imported.body["page"]["rows"], before);
}

TEST_F(UsersConsole, EveryUsersEndpointNeedsTheKey) {
  const std::string no_key = "Host: " + host + "\r\n";
  EXPECT_EQ(request("GET", "/api/users", no_key).status, 401);
  EXPECT_EQ(request("GET", "/api/users/export.csv", no_key).status, 401);
  EXPECT_EQ(request("POST", "/api/users/import", no_key + "Content-Type: text/csv\r\n", "Роль;Логин;Пароль\r\n").status,
            401);
  EXPECT_EQ(request("POST", "/api/users/save", no_key, "{}").status, 401);
}

}  // namespace
}  // namespace velmira::testing
