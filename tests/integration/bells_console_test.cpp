// The page "Редактор звонков" through the operator console over a real
// socket: the bell editor's requests and the classrooms group.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bells/bell_files.hpp"
#include "bells/bell_list.hpp"
#include "bells/schema_table.hpp"
#include "core/text_codec.hpp"
#include "integration/console_exchange.hpp"
#include "integration/server_fixture.hpp"
#include "ui/operator_console.hpp"

namespace velmira::testing {
namespace {

using json = nlohmann::json;
using enum lesson_field;
const std::string key = "operator-key-0123456789";

// "Основное" starts at 8:00 on Thursdays (the fixture's clock is on one);
// "short" is blank.
schema_table thursday_at_eight() {
  schema_table shema;
  const char* lesson[] = {"8", "00", "8", "45", "45", "10"};
  for (int f = 1; f <= 6; ++f) shema.field(4, 1, static_cast<lesson_field>(f)) = lesson[f - 1];
  shema.field(4, 2, start_hour) = "8";
  shema.field(4, 2, start_minute) = "55";
  return shema;
}

void seed_bells(const temp_dir& d) {
  status_texts texts;
  texts.fill_defaults();
  d.write("zvonok/spisok.ini", format_bell_list(texts, {from_utf8("Основное"), "short"}));
  d.write("zvonok/Основное.ini", format_schema(thursday_at_eight()));
  d.write("zvonok/short.ini", format_schema(schema_table()));
  d.write("raspisanie/kab.ini", from_utf8("101/Спортзал/\r\n"));
}

class BellsConsole : public ::testing::Test {
 protected:
  BellsConsole() { EXPECT_FALSE(console.start("127.0.0.1", 0)); }
  ~BellsConsole() override { console.stop(); }

  http_answer with_key(const std::string& method, const std::string& path, const std::string& body = "{}") {
    const std::string host = "127.0.0.1:" + std::to_string(console.port());
    return console_exchange(console.port(), method, path, "Host: " + host + "\r\nAuthorization: Bearer " + key + "\r\n",
                            body);
  }
  json get(const std::string& path) {
    auto reply = with_key("GET", path);
    EXPECT_EQ(reply.status, 200) << path << " " << reply.text;
    return reply.body;
  }
  // The whole reply of an action that must succeed.
  json post(const std::string& path, const json& body = json::object()) {
    auto reply = with_key("POST", path, body.dump());
    EXPECT_EQ(reply.status, 200) << path << " " << body.dump() << " " << reply.text;
    return reply.body;
  }
  json change(int lesson, lesson_field field, const std::string& value) {
    return post("/api/bells/change", {{"lesson", lesson}, {"field", static_cast<int>(field)}, {"value", value}})["page"];
  }

  running_server server{"", {}, seed_bells};
  operator_console console{server.server(), key, [] {}};
};

json row(std::vector<std::string> texts) { return json(texts); }
const json blank_row = row({" ", " ", " ", " ", " ", " "});

TEST_F(BellsConsole, TheEditorOpensOnTodayAndThePageChangeEnablesItAndSetsTheCaption) {
  auto page = get("/api/bells");
  EXPECT_EQ(page["schemas"], json({"Основное", "short"}));
  EXPECT_EQ(page["selected"], 0);
  EXPECT_EQ(page["day"], 4);
  ASSERT_EQ(page["grid"].size(), 10u);
  EXPECT_EQ(page["grid"][0], row({"8", "00", "8", "45", "45", "10"}));
  EXPECT_EQ(page["grid"][1], row({"8", "55", " ", " ", " ", " "}));
  EXPECT_EQ(page["grid"][9], blank_row);
  EXPECT_EQ(page["today_caption"], "");
  EXPECT_EQ(page["enabled"][0], json({false, false, false, false, false, false})) << "set on the first page change";
  EXPECT_EQ(page["group_enabled"], true);
  EXPECT_TRUE(page["rename"].is_null());
  EXPECT_EQ(page["items"][4], json({" ", "15", "20", "25", "30", "35", "40", "45", "50", "55"}));
  EXPECT_EQ(page["week"][3][0], (json{{"start", "8:00"}, {"end", "8:45"}}));
  EXPECT_TRUE(page["week"][3][1].is_null()) << "a lesson without a length is dropped on save";

  ASSERT_EQ(post("/api/page", {{"page", "bells"}})["page"]["mode"], "local");
  page = get("/api/bells");
  EXPECT_EQ(page["today_caption"], "cегодня Четверг");
  EXPECT_EQ(page["today_caption"].get<std::string>().front(), 'c');
  EXPECT_EQ(page["enabled"][0], json({true, true, false, false, true, true}));
  EXPECT_EQ(page["enabled"][1], json({false, false, false, false, true, true}));
}

TEST_F(BellsConsole, ChangesRecomputeTheDayAtOnceAndSaveWritesIt) {
  post("/api/page", {{"page", "bells"}});
  post("/api/bells/select", {{"index", 1}});
  json page;
  for (const auto& [lesson, field, value] : std::vector<std::tuple<int, lesson_field, std::string>>{
           {1, start_hour, "8"}, {1, start_minute, "30"}, {1, length, "45"}, {1, break_after, "10"},
           {2, length, "45"}, {2, break_after, "15"}, {3, length, "40"}}) {
    page = change(lesson, field, value);
  }
  EXPECT_EQ(page["grid"][0], row({"8", "30", "9", "15", "45", "10"}));
  EXPECT_EQ(page["grid"][1], row({"9", "25", "10", "10", "45", "15"}));
  EXPECT_EQ(page["grid"][2], row({"10", "25", "11", "05", "40", " "}));
  EXPECT_EQ(page["grid"][3], blank_row);
  EXPECT_EQ(page["week"][3][2], (json{{"start", "10:25"}, {"end", "11:05"}}));
  EXPECT_EQ(server.dir().read("zvonok/short.ini"), format_schema(schema_table())) << "nothing saved yet";

  auto saved = post("/api/bells/save");
  EXPECT_EQ(saved["messages"], json::array());
  EXPECT_TRUE(saved["question"].is_null());
  auto line = [](const std::string& thursday) { return repeat(" :", 18) + thursday + repeat(" :", 18) + "\r\n"; };
  EXPECT_EQ(server.dir().read("zvonok/short.ini"),
            line("8:30:9:15:45:10:") + line("9:25:10:10:45:15:") + line("10:25:11:05:40: :") +
                repeat(line(repeat(" :", 6)), 6) + repeat(" : : : : ::", 7) + "\r\n");
}

TEST_F(BellsConsole, DaySwitchKeepsEditsAndTheCopyMenuTakesTheStoredDay) {
  post("/api/page", {{"page", "bells"}});
  auto page = post("/api/bells/day", {{"day", 1}})["page"];
  EXPECT_EQ(page["day"], 1);
  EXPECT_EQ(page["grid"][0], blank_row) << "Monday of Основное is empty";
  change(1, start_hour, "9");
  change(1, start_minute, "00");
  change(1, length, "40");

  page = post("/api/bells/day", {{"day", 2}})["page"];
  EXPECT_EQ(page["grid"][0], blank_row);
  page = post("/api/bells/copy_day", {{"from", 1}})["page"];
  EXPECT_EQ(page["day"], 2);
  EXPECT_EQ(page["grid"][0], row({"9", "00", "9", "40", "40", " "})) << "Monday's unsaved edits went with the switch";
  page = post("/api/bells/copy_day", {{"from", 4}})["page"];
  EXPECT_EQ(page["grid"][0], row({"8", "00", "8", "45", "45", "10"}));
}

TEST_F(BellsConsole, TheListOperationsShowTheirMessagesAndDeleteAsksFirst) {
  post("/api/page", {{"page", "bells"}});
  auto added = post("/api/bells/add", {{"name", "Субботнее"}});
  EXPECT_EQ(added["messages"], json::array());
  EXPECT_EQ(added["page"]["schemas"], json({"Основное", "short", "Субботнее"}));
  EXPECT_EQ(added["page"]["selected"], 2);
  EXPECT_EQ(added["page"]["name_field"], "");
  EXPECT_EQ(server.dir().read("zvonok/Субботнее.ini"), repeat(repeat(" :", 42) + "\r\n", 10));

  const std::vector<std::pair<std::string, json>> refused_adds = {
      {"Субботнее", json({"Такое расписание уже существует"})},
      {"", json({"А название за Вас я писать буду?"})},
      {std::string(70000, 'z'), json({"Слишком длинное название схемы: файл с таким именем создать нельзя"})},
      {"Users", json({"Такое название занято файлом сервера: схему нельзя назвать users, setting, kab, news "
                      "или zametki"})},
  };
  const auto list_before = server.dir().read("zvonok/spisok.ini");
  for (const auto& [name, messages] : refused_adds) {
    auto refused = post("/api/bells/add", {{"name", name}});
    EXPECT_EQ(refused["messages"], messages) << name.substr(0, 20);
    EXPECT_EQ(refused["page"]["name_field"], name) << "the field keeps what was typed";
  }
  EXPECT_EQ(server.dir().read("zvonok/spisok.ini"), list_before);

  auto moved = post("/api/bells/move", {{"step", -1}});
  EXPECT_EQ(moved["page"]["schemas"], json({"Основное", "Субботнее", "short"}));
  EXPECT_EQ(moved["page"]["selected"], 1);

  auto opened = post("/api/bells/rename_window", {{"open", true}});
  EXPECT_EQ(opened["page"]["rename"], (json{{"old_name", "Субботнее"}, {"position", 1}}));
  auto same = post("/api/bells/rename", {{"name", "Субботнее"}});
  EXPECT_EQ(same["messages"], json({"Такое название схемы расписания уже существует"}));
  EXPECT_FALSE(same["page"]["rename"].is_null()) << "a refused name leaves the window open";
  auto renamed = post("/api/bells/rename", {{"name", "Выходной"}});
  EXPECT_EQ(renamed["messages"], json::array());
  EXPECT_TRUE(renamed["page"]["rename"].is_null());
  EXPECT_EQ(renamed["page"]["schemas"], json({"Основное", "Выходной", "short"}));
  EXPECT_TRUE(server.dir().exists("zvonok/Выходной.ini"));
  EXPECT_FALSE(server.dir().exists("zvonok/Субботнее.ini"));

  auto asked = post("/api/bells/delete");
  EXPECT_EQ(asked["question"],
            (json{{"caption", "Внимание!"}, {"text", "Вы действительно хотите удалить расписание\nВыходной"}}));
  EXPECT_EQ(asked["page"]["schemas"].size(), 3u);
  auto kept = post("/api/bells/delete", {{"answer", "no"}});
  EXPECT_TRUE(kept["question"].is_null());
  EXPECT_EQ(kept["page"]["schemas"].size(), 3u);
  auto deleted = post("/api/bells/delete", {{"answer", "yes"}});
  EXPECT_TRUE(deleted["question"].is_null());
  EXPECT_EQ(deleted["page"]["schemas"], json({"Основное", "short"}));
  EXPECT_EQ(deleted["page"]["selected"], 0);
  EXPECT_FALSE(server.dir().exists("zvonok/Выходной.ini"));
  EXPECT_EQ(to_utf8(server.dir().read("zvonok/spisok.ini")),
            "Уроки закончились.\r\nУроки закончились.\r\n---\r\nУроки еще не начались. Ожидайте.\r\n"
            "Уроки еще не начались. Ожидайте.\r\n---\r\nОсновное\r\nshort\r\n");
}

TEST_F(BellsConsole, MalformedOrOutOfRangeBodiesAreBadRequestsAndChangeNothing) {
  post("/api/page", {{"page", "bells"}});
  const auto before = get("/api/bells");
  const auto list_before = server.dir().read("zvonok/spisok.ini");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/api/bells/select", R"({"index": 2})"},  // past the list of two
      {"/api/bells/select", R"({"index": -2})"},
      {"/api/bells/select", R"({"index": "first"})"},
      {"/api/bells/day", R"({"day": 0})"},
      {"/api/bells/day", R"({"day": 8})"},
      {"/api/bells/change", R"({"lesson": 11, "field": 1, "value": "8"})"},
      {"/api/bells/change", R"({"lesson": 1, "field": 7, "value": "8"})"},
      {"/api/bells/change", R"({"lesson": 1, "field": 2, "value": "07"})"},  // not an item
      {"/api/bells/change", R"({"lesson": 1, "field": 3, "value": "9"})"},   // end hours are computed
      {"/api/bells/change", R"({"lesson": 1, "field": 1})"},
      {"/api/bells/add", R"({})"},
      {"/api/bells/move", R"({"step": 2})"},
      {"/api/bells/rename", R"({"name": 5})"},
      {"/api/bells/rename_window", R"({})"},
      {"/api/bells/delete", R"({"answer": "maybe"})"},
      {"/api/bells/copy_day", R"({"from": 9})"},
      {"/api/bells/save", "[1, 2]"},
      {"/api/classrooms/save", R"({"lines": ["101"]})"},
  };
  for (const auto& [path, body] : cases) {
    auto reply = with_key("POST", path, body);
    EXPECT_EQ(reply.status, 400) << path << " " << body;
    EXPECT_TRUE(reply.body.contains("error")) << path << " " << body;
  }
  EXPECT_EQ(get("/api/bells"), before);
  EXPECT_EQ(server.dir().read("zvonok/spisok.ini"), list_before);
  EXPECT_EQ(get("/api/classrooms")["text"], "101\nСпортзал");
}

TEST_F(BellsConsole, ClassroomsAreSavedAsOneLineAndNamesTheChannelCannotCarryAreRefused) {
  EXPECT_EQ(get("/api/classrooms"), (json{{"text", "101\nСпортзал"}}));

  auto saved = post("/api/classrooms/save", {{"text", "101\n  102  \r\n\nАктовый зал"}});
  EXPECT_EQ(saved["messages"], json::array());
  EXPECT_EQ(saved["page"]["text"], "101\n  102  \n\nАктовый зал") << "the field as typed";
  EXPECT_EQ(server.dir().read("raspisanie/kab.ini"), from_utf8("101/  102/Актовый зал/\r\n"));

  auto refused = post("/api/classrooms/save", {{"text", "101\nЗал|2"}});
  EXPECT_EQ(refused["messages"], json({"Название кабинета не может содержать символы \"|\" и \"^\""}));
  EXPECT_EQ(refused["page"]["text"], "101\nЗал|2");
  EXPECT_EQ(server.dir().read("raspisanie/kab.ini"), from_utf8("101/  102/Актовый зал/\r\n"));
  EXPECT_FALSE(server.dir().exists("remote/kab.ini"));
}

}  // namespace
}  // namespace velmira::testing
