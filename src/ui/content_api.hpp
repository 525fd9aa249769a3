#pragma once
// The moderation windows and the calendar editor as the console's JSON.
// Text is UTF-8 here and Windows-1251 in the models.
#include <nlohmann/json.hpp>

#include "content/calendar_document.hpp"
#include "content/moderation.hpp"

namespace velmira {

// The title, the eight columns (the password's, the time's and the
// colour's hidden) and the rows without their passwords.
nlohmann::json moderation_json(const moderation_window& window);

// "enabled" and the paragraphs with their runs.
nlohmann::json calendar_json(bool enabled, const calendar_document& document);
// The document a save sends; throws nlohmann::json::exception when it is
// not of that shape.
calendar_document calendar_from_json(const nlohmann::json& paragraphs);

}  // namespace velmira
