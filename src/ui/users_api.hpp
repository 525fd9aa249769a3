#pragma once
// The "Пользователи" page as the console's JSON, and its import and export.
// Text is UTF-8 here and Windows-1251 in the models.
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "users/user_admin_page.hpp"
#include "users/user_import.hpp"

namespace velmira {

// "rows" as the contract fixes them, then ours: "columns" (the list's
// captions), "form" (the form's values), "enabled" (which of its controls
// take input), "roles", "class_numbers" and "class_letters" (the lists the
// form offers).
nlohmann::json users_json(const user_admin_page& page);

// The form's values from a request: fields left out are empty, unticked or
// without a selection. Throws nlohmann::json::exception for a field of the
// wrong type.
user_form_values user_form_from_json(const nlohmann::json& body);

// "login" or "full_name" as SortUser numbers them; throws
// nlohmann::json::exception for anything else.
int sort_key_from_json(const nlohmann::json& body);

// The import's reply besides the page: "error" (why the whole file was
// refused, or null), "added", and "rows", one per record in file order:
// {"line", "outcome": "added"|"exists"|"refused", "message", "row",
// "full_name", "login", "password"}.
nlohmann::json import_report_json(const import_report& report);

// Whether the query of `target` sets `name` ("name=1", "name=true" or the
// bare name).
bool query_flag(std::string_view target, std::string_view name);

// Runs an operation on rows the page listed. A row past the table, or check
// boxes of another count, mean the page shows a list the table no longer
// is: a request that cannot be carried out as sent, answered 400 like any
// malformed one, not a failure of the server.
template <class Operation>
decltype(auto) on_listed_rows(Operation&& operation) {
  try {
    return operation();
  } catch (const std::out_of_range&) {
    throw nlohmann::json::out_of_range::create(401, "no such row in the user list", nullptr);
  } catch (const std::invalid_argument&) {
    throw nlohmann::json::other_error::create(501, "one check box per user is needed", nullptr);
  }
}

}  // namespace velmira
