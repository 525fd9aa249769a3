#pragma once
// The page "Редактор звонков" as the console's JSON: the bell editor and the
// classrooms group. Text is UTF-8 here and Windows-1251 in the models.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bells/bell_editor.hpp"

namespace velmira {

// The schema list, the selection (-1 for none), the day shown, the grid's
// texts and enabled states, the group's, the today caption; and the item
// list of each of the six fields, the name field, the rename window (null
// when closed) and the week preview (per day, per lesson: null or
// {"start", "end"}).
nlohmann::json bells_json(const bell_editor& editor);
// {"text": the field's lines joined by "\n"}.
nlohmann::json classrooms_json(const std::vector<std::string>& lines);

}  // namespace velmira
