#include "ui/users_api.hpp"

#include "core/text_codec.hpp"
#include "users/roles.hpp"

namespace velmira {

using json = nlohmann::json;

namespace {

json utf8_list(const std::vector<std::string>& texts) {
  json list = json::array();
  for (const auto& text : texts) list.push_back(to_utf8(text));
  return list;
}

template <class T>
json or_null(const std::optional<T>& value) {
  return value ? json(*value) : json(nullptr);
}

json optional_text(const std::optional<std::string>& text) { return text ? json(to_utf8(*text)) : json(nullptr); }

json form_json(const user_form& form) {
  return {{"login", to_utf8(form.login())},
          {"password", to_utf8(form.password())},
          {"full_name", to_utf8(form.full_name())},
          {"class_number", or_null(form.class_number())},
          {"class_letter", optional_text(form.class_letter())},
          {"role", optional_text(form.role())},
          {"active", form.active()},
          {"may_read_news", form.may_read_news()},
          {"may_publish_news", form.may_publish_news()},
          {"may_publish_notes", form.may_publish_notes()}};
}

json row_json(const TMassLogIn& row) {
  auto yes = [&](std::size_t column) { return row[column] == roles::yes(); };
  return {{"active", row[user_column::active] == "1"},
          {"full_name", to_utf8(row[user_column::full_name])},
          {"class", to_utf8(row[user_column::class_name])},
          {"role", to_utf8(row[user_column::role])},
          {"login", to_utf8(row[user_column::login])},
          {"password", to_utf8(row[user_column::password])},
          {"may_read_news", yes(user_column::may_read_news)},
          {"may_publish_news", yes(user_column::may_publish_news)},
          {"may_publish_notes", yes(user_column::may_publish_notes)}};
}

// A text field of the body, converted for the model; absent is empty.
std::string text_field(const json& body, const char* name) { return from_utf8(body.value(name, std::string())); }

// A list's selection: null or absent is none.
template <class T>
std::optional<T> selection(const json& body, const char* name) {
  auto field = body.find(name);
  if (field == body.end() || field->is_null()) return std::nullopt;
  if constexpr (std::is_same_v<T, int>) {
    if (!field->is_number_integer()) throw json::type_error::create(302, std::string(name) + " must be a whole number or null", nullptr);
    return field->template get<int>();
  } else {
    return from_utf8(field->template get<std::string>());
  }
}

const char* outcome_name(import_outcome outcome) {
  switch (outcome) {
    case import_outcome::added:
      return "added";
    case import_outcome::exists:
      return "exists";
    case import_outcome::refused:
      break;
  }
  return "refused";
}

}  // namespace

json users_json(const Server::users_view& view) {
  json rows = json::array();
  for (const auto& row : *view.rows) rows.push_back(row_json(row));
  const auto& form = view.form;
  json numbers = json::array();
  for (int n = 1; n <= 11; ++n) numbers.push_back(n);
  return {
      {"rows", rows},
      {"columns", {"ФИО", "Класс", "Роль", "Логин", "Пароль", "Объяв. просмотр", "Объяв. добавление", "Добав. заметок"}},
      {"form", form_json(form)},
      {"enabled",
       {{"class_number", form.class_lists_enabled()},
        {"class_letter", form.class_lists_enabled()},
        {"may_publish_news", form.may_publish_news_enabled()},
        {"may_publish_notes", form.may_publish_notes_enabled()}}},
      {"roles", utf8_list(form_roles())},
      {"class_numbers", numbers},
      {"class_letters", utf8_list(class_letters())},
  };
}

user_form_values user_form_from_json(const json& body) {
  user_form_values values;
  values.login = text_field(body, "login");
  values.password = text_field(body, "password");
  values.full_name = text_field(body, "full_name");
  values.class_number = selection<int>(body, "class_number");
  values.class_letter = selection<std::string>(body, "class_letter");
  values.role = selection<std::string>(body, "role");
  values.active = body.value("active", false);
  values.may_read_news = body.value("may_read_news", false);
  values.may_publish_news = body.value("may_publish_news", false);
  values.may_publish_notes = body.value("may_publish_notes", false);
  return values;
}

int sort_key_from_json(const json& body) {
  auto by = body.at("by").get<std::string>();
  if (by == "login") return 1;
  if (by == "full_name") return 2;
  throw json::other_error::create(501, "by is login or full_name", nullptr);
}

json import_report_json(const import_report& report) {
  json rows = json::array();
  for (const auto& user : report.users) {
    rows.push_back({{"line", user.line},
                    {"outcome", outcome_name(user.outcome)},
                    {"message", to_utf8(user.message)},
                    {"row", or_null(user.row)},
                    {"full_name", to_utf8(user.full_name)},
                    {"login", to_utf8(user.login)},
                    {"password", to_utf8(user.password)}});
  }
  return {{"error", report.error ? json(to_utf8(*report.error)) : json(nullptr)},
          {"added", report.added()},
          {"rows", rows}};
}

bool query_flag(std::string_view target, std::string_view name) {
  auto question = target.find('?');
  if (question == std::string_view::npos) return false;
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    auto end = query.find('&');
    std::string_view pair = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    auto equals = pair.find('=');
    if (pair.substr(0, equals) != name) continue;
    if (equals == std::string_view::npos) return true;
    auto value = pair.substr(equals + 1);
    return value == "1" || value == "true";
  }
  return false;
}

}  // namespace velmira
