#include "ui/content_api.hpp"

#include <string_view>

#include "core/text_codec.hpp"

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

json moderation_json(const Server::moderation_view& view) {
  json rows = json::array();
  for (const auto& row : view.rows) {
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
  return {{"title", view.title}, {"columns", columns}, {"rows", rows}};
}

json calendar_json(const Server::calendar_view& view) {
  json paragraphs = json::array();
  for (const auto& paragraph : paragraphs_of(view.document)) {
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
  return {{"enabled", view.enabled}, {"paragraphs", paragraphs}};
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

}  // namespace velmira
