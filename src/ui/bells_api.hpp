#pragma once
// The page "Редактор звонков" as the console's JSON: the bell editor and the
// classrooms group. Text is UTF-8 here and Windows-1251 in the models.
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bells/bell_editor.hpp"
#include "core/operator_outcome.hpp"
#include "server/server.hpp"

namespace velmira {

// The schema list, the selection (-1 for none), the day shown, the grid's
// texts and enabled states, the group's, the today caption; and the item
// list of each of the six fields, the name field, the rename window (null
// when closed) and the week preview (per day, per lesson: null or
// {"start", "end"}).
nlohmann::json bells_json(const bell_editor& editor);
// {"text": the field's lines joined by "\n"}.
nlohmann::json classrooms_json(const std::vector<std::string>& lines);

// What an action showed and the state of its page after it.
struct console_action_result {
  operator_outcome outcome;
  nlohmann::json page;
};
using console_get = std::function<nlohmann::json()>;
// `answer` is the body's, for the actions that ask.
using console_post = std::function<console_action_result(const nlohmann::json& body, operator_answer answer)>;

// The page's requests by path. A body of the wrong shape, a number out of
// its range, a value that is not an item of an enabled field or an index
// past the list throws nlohmann::json::exception. `server` must outlive
// what they return.
std::map<std::string, console_get> bells_gets(Server& server);
std::map<std::string, console_post> bells_posts(Server& server);

}  // namespace velmira
