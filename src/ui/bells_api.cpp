#include "ui/bells_api.hpp"

#include <optional>
#include <stdexcept>

#include "core/text_codec.hpp"
#include "ui/console_routes.hpp"

namespace velmira {

using json = nlohmann::json;

namespace {

constexpr lesson_field grid_fields[] = {lesson_field::start_hour, lesson_field::start_minute,
                                        lesson_field::end_hour,   lesson_field::end_minute,
                                        lesson_field::length,     lesson_field::break_after};

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

namespace {

// The schema list and its selection are what indexes and the delete
// question name.
std::string bells_tag(operator_desk& desk) {
  const auto& schemas = desk.state.bell_page.schemas();
  page_tag tag;
  for (const auto& name : schemas.names()) tag.add(name);
  const auto selected = schemas.selected();
  return tag.add(selected ? static_cast<std::int64_t>(*selected) : -1).text();
}

// Each action's reply carries the editor after it.
console_action bells_action(std::function<operator_outcome(bell_editor&, const json&)> run) {
  return {"/api/bells",
          [run = std::move(run)](operator_desk& desk, const json& body) { return run(desk.state.bell_page, body); }};
}

console_action bells_step(std::function<void(bell_editor&, const json&)> run) {
  return bells_action([run = std::move(run)](bell_editor& editor, const json& body) {
    run(editor, body);
    return operator_outcome{};
  });
}

json classrooms_state(operator_desk& desk) { return classrooms_json(desk.state.rooms.names()); }

}  // namespace

console_routes bells_routes() {
  console_routes routes;
  routes.pages["/api/bells"] = {[](operator_desk& desk) { return bells_json(desk.state.bell_page); }, bells_tag};
  routes.pages["/api/classrooms"] = {classrooms_state,
                                     [](operator_desk& desk) { return tag_of_state(classrooms_state(desk)); }};
  routes.actions["/api/bells/select"] = bells_action([](bell_editor& editor, const json& body) {
    const int index = number_in(body, "index", -1, static_cast<int>(schema_list::capacity) - 1);
    if (index >= static_cast<int>(editor.schemas().size())) bad_request("index is past the list");
    return editor.sListView2Click(index < 0 ? std::nullopt : std::optional<std::size_t>(index));
  });
  routes.actions["/api/bells/day"] = bells_step(
      [](bell_editor& editor, const json& body) { editor.DenClick(number_in(body, "day", 1, schema_table::day_count)); });
  routes.actions["/api/bells/change"] = bells_step([](bell_editor& editor, const json& body) {
    const int lesson = number_in(body, "lesson", 1, schema_table::lesson_count);
    const auto field = static_cast<lesson_field>(number_in(body, "field", 1, schema_table::fields_per_day));
    if (!editor.sCombChange(lesson, field, text_of(body, "value"))) bad_request("value is not an item of an enabled field");
  });
  routes.actions["/api/bells/add"] = writing(bells_action([](bell_editor& editor, const json& body) {
    editor.set_name_field(text_of(body, "name"));
    return editor.BitBtn6Click();
  }));
  routes.actions["/api/bells/save"] = writing(bells_action([](bell_editor& editor, const json&) { return editor.BitBtn7Click(); }));
  routes.actions["/api/bells/move"] = writing(bells_action([](bell_editor& editor, const json& body) {
    const int step = body.at("step").get<int>();
    if (step != -1 && step != 1) bad_request("step is -1 or 1");
    return editor.N10Click(step);
  }));
  routes.actions["/api/bells/rename_window"] = bells_step([](bell_editor& editor, const json& body) {
    if (body.at("open").get<bool>()) {
      editor.N12Click();
    } else {
      editor.close_rename_window();
    }
  });
  routes.actions["/api/bells/rename"] = writing(bells_action([](bell_editor& editor, const json& body) {
    auto name = text_of(body, "name");
    if (!editor.rename_window_state()) editor.N12Click();
    return editor.Form4Button1Click(name);
  }));
  routes.actions["/api/bells/delete"] =
      writing(bells_action([](bell_editor& editor, const json& body) { return editor.E1Click(answer_of(body)); }));
  routes.actions["/api/bells/copy_day"] = bells_step([](bell_editor& editor, const json& body) {
    editor.g1Click(number_in(body, "from", 1, schema_table::day_count));
  });
  routes.actions["/api/classrooms/save"] = writing(console_action{"/api/classrooms", [](operator_desk& desk, const json& body) {
                                              auto& rooms = desk.state.rooms;
                                              rooms.set_text(text_of(body, "text"));
                                              if (auto refusal = rooms.save_refusal()) {
                                                return operator_outcome::showing(*refusal);
                                              }
                                              desk.save_in_current_mode(master_file::classrooms, [&](operating_mode mode) {
                                                rooms.KabSave(mode == operating_mode::local ? "raspisanie\\" : "remote\\");
                                              });
                                              return operator_outcome{};
                                            }});
  return routes;
}

}  // namespace velmira
