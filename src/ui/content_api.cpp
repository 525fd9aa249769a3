#include "ui/content_api.hpp"

#include <string_view>

#include "core/text_codec.hpp"
#include "ui/console_routes.hpp"
#include "ui/settings_api.hpp"

namespace velmira {

using json = nlohmann::json;

namespace {

struct alignment_name {
  paragraph_alignment alignment;
  std::string_view name;
};

constexpr alignment_name alignment_names[] = {
    {paragraph_alignment::left, "left"},
    {paragraph_alignment::centre, "centre"},
    {paragraph_alignment::right, "right"},
    {paragraph_alignment::justify, "justify"},
};

std::string_view name_of(paragraph_alignment alignment) {
  for (const auto& a : alignment_names) {
    if (a.alignment == alignment) return a.name;
  }
  return "left";
}

// "align" keeps a right or justified paragraph from elsewhere as it was;
// without it, "centred" decides, as the contract has it.
paragraph_alignment alignment_of(const json& paragraph) {
  if (auto align = paragraph.find("align"); align != paragraph.end()) {
    auto name = align->get<std::string>();
    for (const auto& a : alignment_names) {
      if (a.name == name) return a.alignment;
    }
    throw json::other_error::create(501, "align is left, centre, right or justify", nullptr);
  }
  return paragraph.value("centred", false) ? paragraph_alignment::centre : paragraph_alignment::left;
}

json column(const char* caption, const char* key, bool hidden) {
  return {{"caption", caption}, {"key", key}, {"hidden", hidden}};
}

}  // namespace

json moderation_json(const moderation_window& window) {
  json rows = json::array();
  for (const auto& row : window.rows()) {
    rows.push_back({{"date", to_utf8(row.date)},
                    {"time", to_utf8(row.time)},
                    {"login", to_utf8(row.login)},
                    {"author1", to_utf8(row.author_first)},
                    {"author2", to_utf8(row.author_second)},
                    {"text", to_utf8(row.text)},
                    {"colour", to_utf8(row.colour)}});
  }
  json columns = {column("Дата", "date", false),    column("Время", "time", true),
                  column("Логин", "login", false),  column("Пароль", "password", true),
                  column("ФИО", "author1", false),  column("Роль", "author2", false),
                  column("Сообщение", "text", false), column("Цвет", "colour", true)};
  return {{"title", window.title()}, {"columns", columns}, {"rows", rows}};
}

json calendar_json(bool enabled, const calendar_document& document) {
  json paragraphs = json::array();
  for (const auto& paragraph : paragraphs_of(document)) {
    json runs = json::array();
    for (const auto& run : paragraph.runs) {
      runs.push_back({{"text", to_utf8(run.text)},
                      {"b", run.style.bold},
                      {"i", run.style.italic},
                      {"u", run.style.underline}});
    }
    paragraphs.push_back({{"centred", paragraph.alignment == paragraph_alignment::centre},
                          {"align", name_of(paragraph.alignment)},
                          {"runs", runs}});
  }
  return {{"enabled", enabled}, {"paragraphs", paragraphs}};
}

calendar_document calendar_from_json(const json& paragraphs) {
  if (!paragraphs.is_array()) throw json::type_error::create(302, "paragraphs must be an array", nullptr);
  std::vector<calendar_paragraph> parsed;
  for (const auto& paragraph : paragraphs) {
    calendar_paragraph p{alignment_of(paragraph), {}};
    for (const auto& run : paragraph.at("runs")) {
      p.runs.push_back({from_utf8(run.at("text").get<std::string>()),
                        {run.value("b", false), run.value("i", false), run.value("u", false)}});
    }
    parsed.push_back(std::move(p));
  }
  return document_of(parsed);
}

namespace {

moderation_window& window_of(server_state& state, moderation_kind kind) {
  return kind == moderation_kind::news ? state.news_moderation : state.notes_moderation;
}

master_file master_file_of(moderation_kind kind) {
  return kind == moderation_kind::news ? master_file::news : master_file::notes;
}

// The rows are what the checked indexes name: the tag is their records.
std::string moderation_tag(const moderation_window& window) {
  page_tag tag;
  for (const auto& row : window.rows()) tag.add(row.line);
  return tag.text();
}

void add_moderation_routes(console_routes& routes, moderation_kind kind) {
  const std::string page = kind == moderation_kind::news ? "/api/moderation/news" : "/api/moderation/notes";
  routes.pages[page] = {
      [kind](operator_desk& desk) { return moderation_json(window_of(desk.state, kind)); },
      [kind](operator_desk& desk) { return moderation_tag(window_of(desk.state, kind)); },
      [kind](operator_desk& desk) { window_of(desk.state, kind).open(desk.shown_mode() == operating_mode::remote); },
  };
  routes.actions[page + "/delete"] = writing({page, [kind](operator_desk& desk, const json& body) {
                                        auto rows = body.at("rows").get<std::vector<std::size_t>>();
                                        if (window_of(desk.state, kind).SpeedButton1Click(rows)) {
                                          desk.send_if_remote(master_file_of(kind));
                                        }
                                        return operator_outcome{};
                                      }});
  routes.actions[page + "/delete_all"] = writing({page, [kind](operator_desk& desk, const json& body) {
                                            auto result = window_of(desk.state, kind).SpeedButton2Click(answer_of(body));
                                            if (result.file_changed) desk.send_if_remote(master_file_of(kind));
                                            return result.outcome;
                                          }});
}

json calendar_state(operator_desk& desk) {
  return calendar_json(desk.state.settings.calendar_on, desk.state.calendar.document());
}

}  // namespace

console_routes content_routes() {
  console_routes routes;
  for (auto kind : {moderation_kind::news, moderation_kind::notes}) add_moderation_routes(routes, kind);
  routes.pages["/api/calendar"] = {calendar_state, [](operator_desk& desk) { return tag_of_state(calendar_state(desk)); }};
  routes.actions["/api/calendar/save"] = writing(console_action{"/api/calendar", [](operator_desk& desk, const json& body) {
                                            auto document = calendar_from_json(body.at("paragraphs"));
                                            // The check box is a control of the same page: ticked in the
                                            // page, it enables the group before the button runs, saved or not.
                                            if (auto on = body.find("calendar_on"); on != body.end()) {
                                              apply_settings(desk.state.settings, {{"calendar_on", on->get<bool>()}});
                                            }
                                            auto& calendar = desk.state.calendar;
                                            calendar.replace_document(std::move(document));
                                            desk.save_in_current_mode(master_file::calendar, [&](operating_mode mode) {
                                              calendar.KalendarGrafSave(mode == operating_mode::local ? "" : "remote\\");
                                            });
                                            return operator_outcome{};
                                          }});
  return routes;
}

}  // namespace velmira
