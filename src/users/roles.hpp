#pragma once
// Role names as the users file stores them (Windows-1251) and the
// four-letter codes clients send for them.
#include <string>
#include <string_view>

namespace velmira::roles {

const std::string& director();        // "Директор"
const std::string& deputy();          // "Заместитель директора"
const std::string& teacher();         // "Учитель"
const std::string& dispatcher();      // "Диспетчер"
const std::string& parent();          // "Родитель"
const std::string& pupil();           // "Ученик"
const std::string& canteen();         // "Столовая"

// The role name a code stands for; empty for any other code, which then
// matches no user.
const std::string& name_for_code(std::string_view code);

const std::string& yes();  // "Да", the value of a granted right
const std::string& no();   // "Нет"

}  // namespace velmira::roles
