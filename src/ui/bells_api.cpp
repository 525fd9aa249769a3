#include "ui/bells_api.hpp"

#include <optional>
#include <stdexcept>

#include "core/text_codec.hpp"

namespace velmira {

using json = nlohmann::json;

namespace {

constexpr lesson_field grid_fields[] = {lesson_field::start_hour, lesson_field::start_minute,
                                        lesson_field::end_hour,   lesson_field::end_minute,
                                        lesson_field::length,     lesson_field::break_after};

// The console answers 400 to its JSON exceptions.
[[noreturn]] void bad_request(const std::string& what) { throw json::other_error::create(501, what, nullptr); }

int number_in(const json& body, const char* key, int low, int high) {
  const int n = body.at(key).get<int>();
  if (n < low || n > high) {
    bad_request(std::string(key) + " is from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return n;
}

std::string text_of(const json& body, const char* key) { return from_utf8(body.at(key).get<std::string>()); }

json utf8_list(const std::vector<std::string>& texts) {
  json list = json::array();
  for (const auto& text : texts) list.push_back(to_utf8(text));
  return list;
}

json week_json(const bell_editor& editor) {
  json week = json::array();
  for (const auto& day : editor.week_preview()) {
    json lessons = json::array();
    for (const auto& lesson : day) {
      lessons.push_back(lesson ? json{{"start", lesson->start}, {"end", lesson->end}} : json(nullptr));
    }
    week.push_back(std::move(lessons));
  }
  return week;
}

json rename_json(const bell_editor& editor) {
  const auto& window = editor.rename_window_state();
  if (!window) return nullptr;
  return {{"old_name", to_utf8(window->old_name)}, {"position", window->position}};
}

}  // namespace

json bells_json(const bell_editor& editor) {
  json grid = json::array(), enabled = json::array(), items = json::array();
  for (int lesson = 1; lesson <= schema_table::lesson_count; ++lesson) {
    json texts = json::array(), states = json::array();
    for (lesson_field f : grid_fields) {
      texts.push_back(editor.comb(lesson, f).text());
      states.push_back(editor.comb(lesson, f).enabled);
    }
    grid.push_back(std::move(texts));
    enabled.push_back(std::move(states));
  }
  for (lesson_field f : grid_fields) items.push_back(comb_items(f));
  const auto selected = editor.schemas().selected();
  return {
      {"schemas", utf8_list(editor.schemas().names())},
      {"selected", selected ? static_cast<long>(*selected) : -1L},
      {"day", editor.day()},
      {"grid", grid},
      {"enabled", enabled},
      {"group_enabled", editor.group_enabled()},
      {"today_caption", to_utf8(editor.today_caption())},
      {"items", items},
      {"name_field", to_utf8(editor.name_field())},
      {"rename", rename_json(editor)},
      {"week", week_json(editor)},
  };
}

json classrooms_json(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += to_utf8(lines[i]);
  }
  return {{"text", text}};
}

std::map<std::string, console_get> bells_gets(Server& server) {
  return {
      {"/api/bells",
       [&server] {
         json page;
         server.read_bells([&](const bell_editor& editor) { page = bells_json(editor); });
         return page;
       }},
      {"/api/classrooms", [&server] { return classrooms_json(server.classrooms()); }},
  };
}

std::map<std::string, console_post> bells_posts(Server& server) {
  auto page = [&server] {
    json state;
    server.read_bells([&](const bell_editor& editor) { state = bells_json(editor); });
    return state;
  };
  // Each action's reply carries the editor after it.
  auto action = [page](std::function<operator_outcome(const json&, operator_answer)> run) -> console_post {
    return [page, run = std::move(run)](const json& body, operator_answer answer) {
      auto outcome = run(body, answer);
      return console_action_result{std::move(outcome), page()};
    };
  };
  return {
      {"/api/bells/select", action([&server](const json& body, operator_answer) {
         const int index = number_in(body, "index", -1, static_cast<int>(schema_list::capacity) - 1);
         try {
           return server.sListView2Click(index < 0 ? std::nullopt : std::optional<std::size_t>(index));
         } catch (const std::out_of_range&) {
           bad_request("index is past the list");
         }
       })},
      {"/api/bells/day", action([&server](const json& body, operator_answer) {
         server.DenClick(number_in(body, "day", 1, schema_table::day_count));
         return operator_outcome{};
       })},
      {"/api/bells/change", action([&server](const json& body, operator_answer) {
         const int lesson = number_in(body, "lesson", 1, schema_table::lesson_count);
         const auto field = static_cast<lesson_field>(number_in(body, "field", 1, schema_table::fields_per_day));
         if (!server.sCombChange(lesson, field, text_of(body, "value"))) {
           bad_request("value is not an item of an enabled field");
         }
         return operator_outcome{};
       })},
      {"/api/bells/add", action([&server](const json& body, operator_answer) {
         return server.BitBtn6Click(text_of(body, "name"));
       })},
      {"/api/bells/save", action([&server](const json&, operator_answer) { return server.BitBtn7Click(); })},
      {"/api/bells/move", action([&server](const json& body, operator_answer) {
         const int step = body.at("step").get<int>();
         if (step != -1 && step != 1) bad_request("step is -1 or 1");
         return server.N10Click(step);
       })},
      {"/api/bells/rename_window", action([&server](const json& body, operator_answer) {
         server.show_rename_window(body.at("open").get<bool>());
         return operator_outcome{};
       })},
      {"/api/bells/rename", action([&server](const json& body, operator_answer) {
         return server.rename_schema(text_of(body, "name"));
       })},
      {"/api/bells/delete", action([&server](const json&, operator_answer answer) { return server.E1Click(answer); })},
      {"/api/bells/copy_day", action([&server](const json& body, operator_answer) {
         server.g1Click(number_in(body, "from", 1, schema_table::day_count));
         return operator_outcome{};
       })},
      {"/api/classrooms/save",
       [&server](const json& body, operator_answer) {
         auto outcome = server.BitBtn8Click(text_of(body, "text"));
         return console_action_result{std::move(outcome), classrooms_json(server.classrooms())};
       }},
  };
}

}  // namespace velmira
