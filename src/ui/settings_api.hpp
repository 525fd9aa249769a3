#pragma once
// The settings page ("Настройки") as the console's JSON: its fields by name,
// read from the page model and written into it as the operator's controls
// would be. Text is UTF-8 here and Windows-1251 in the model.
#include <nlohmann/json.hpp>

#include "core/settings_page.hpp"

namespace velmira {

// Every field, and "local_only_visible"; while the page shows a master's
// copy, eleven of the twelve fields the copy keeps apart (ports, HTTP and
// administration credentials, start-up switches) are left out. The mode
// stays: it is how the operator takes a copy back to local mode.
nlohmann::json settings_json(const settings_page& page);

// The fields present in `fields` take their values, as the controls would:
// a purge switch ticked selects one month unless an age is given, unticked
// it clears the age; "calendar_on" enables or disables the calendar editor.
// Those eleven fields are ignored while a master's copy is shown. Throws
// nlohmann::json::exception for a field of the wrong type or an unknown mode.
void apply_settings(settings_page& page, const nlohmann::json& fields);

}  // namespace velmira
