#include "ui/users_api.hpp"

#include "core/text_codec.hpp"
#include "ui/console_routes.hpp"
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

json users_json(const user_admin_page& page) {
  json rows = json::array();
  for (const auto& row : *page.rows()) rows.push_back(row_json(row));
  const auto& form = page.form();
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

namespace {

// Row indexes and the delete question name rows of the list: the tag is the
// list itself, in order.
std::string users_tag(operator_desk& desk) {
  page_tag tag;
  for (const auto& row : *desk.state.users_page.rows()) {
    for (const auto& column : row) tag.add(column);
  }
  return tag.text();
}

console_action users_action(std::function<operator_outcome(user_admin_page&, const json&)> run) {
  return {"/api/users",
          [run = std::move(run)](operator_desk& desk, const json& body) { return run(desk.state.users_page, body); }};
}

console_action users_step(std::function<void(user_admin_page&, const json&)> run) {
  return users_action([run = std::move(run)](user_admin_page& page, const json& body) {
    run(page, body);
    return operator_outcome{};
  });
}

}  // namespace

console_routes users_routes() {
  console_routes routes;
  routes.pages["/api/users"] = {[](operator_desk& desk) { return users_json(desk.state.users_page); }, users_tag};
  routes.actions["/api/users/form"] =
      users_step([](user_admin_page& page, const json& body) { page.form().take(user_form_from_json(body)); });
  routes.actions["/api/users/add"] = users_action([](user_admin_page& page, const json& body) {
    // The whole body is read before the form takes any of it.
    auto answer = answer_of(body);
    page.form().take(user_form_from_json(body));
    return page.BitBtn4Click(answer);
  });
  routes.actions["/api/users/clear"] = users_step([](user_admin_page& page, const json&) { page.BitBtn5Click(); });
  routes.actions["/api/users/load_row"] = users_step([](user_admin_page& page, const json& body) {
    auto row = body.at("row").get<std::size_t>();
    on_listed_rows([&] { page.sListView11DblClick(row); });
  });
  routes.actions["/api/users/checks"] = users_step([](user_admin_page& page, const json& body) {
    auto checked = body.at("active").get<std::vector<bool>>();
    on_listed_rows([&] { page.sListView11Click(checked); });
  });
  routes.actions["/api/users/sort"] =
      users_step([](user_admin_page& page, const json& body) { page.SortUser(sort_key_from_json(body)); });
  routes.actions["/api/users/block_all"] =
      users_action([](user_admin_page& page, const json& body) { return page.P1Click(answer_of(body)); });
  routes.actions["/api/users/activate_all"] =
      users_action([](user_admin_page& page, const json& body) { return page.N4Click(answer_of(body)); });
  routes.actions["/api/users/delete"] = users_action([](user_admin_page& page, const json& body) {
    auto row = body.at("row").get<std::size_t>();
    auto answer = answer_of(body);
    return on_listed_rows([&] { return page.N3Click(row, answer); });
  });
  routes.actions["/api/users/save"] = writing(console_action{"/api/users", [](operator_desk& desk, const json&) {
                                         desk.save_in_current_mode(master_file::users, [&](operating_mode mode) {
                                           desk.state.users_page.BitBtn9Click(mode);
                                         });
                                         return operator_outcome{};
                                       }});
  routes.raw["POST /api/users/import"] = [](operator_desk& desk, const http_request& request) -> http_reply {
    if (!request.content_type.starts_with("text/csv")) {
      return {415, "application/json; charset=utf-8", json{{"error", "the body must be text/csv"}}.dump(), {}};
    }
    desk.refuse_while_busy();
    auto report = import_users(desk.state.users, request.body, {.generate_missing = query_flag(request.target, "generate")});
    // An import never asks; a file refused whole is shown as a message.
    auto shown = import_report_json(report);
    json messages = shown["error"].is_null() ? json::array() : json::array({shown["error"]});
    json reply = {{"messages", messages}, {"question", nullptr}, {"page", users_json(desk.state.users_page)},
                  {"report", shown}};
    return {200, "application/json; charset=utf-8", reply.dump(), {{"ETag", users_tag(desk)}, {"Cache-Control", "no-store"}}};
  };
  routes.raw["GET /api/users/export.csv"] = [](operator_desk& desk, const http_request&) {
    return http_reply{200, "text/csv; charset=utf-8", export_users_csv(*desk.state.users.snapshot()),
                      {{"Content-Disposition", "attachment; filename=\"users.csv\""}, {"Cache-Control", "no-store"}}};
  };
  return routes;
}

}  // namespace velmira
