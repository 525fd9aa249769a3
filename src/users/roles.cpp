#include "users/roles.hpp"

#include <array>
#include <utility>

#include "core/text_codec.hpp"

namespace velmira::roles {

#define VELMIRA_ROLE_TEXT(name, utf8)              \
  const std::string& name() {                      \
    static const std::string text = from_utf8(utf8); \
    return text;                                   \
  }
VELMIRA_ROLE_TEXT(director, "Директор")
VELMIRA_ROLE_TEXT(deputy, "Заместитель директора")
VELMIRA_ROLE_TEXT(teacher, "Учитель")
VELMIRA_ROLE_TEXT(dispatcher, "Диспетчер")
VELMIRA_ROLE_TEXT(parent, "Родитель")
VELMIRA_ROLE_TEXT(pupil, "Ученик")
VELMIRA_ROLE_TEXT(canteen, "Столовая")
VELMIRA_ROLE_TEXT(yes, "Да")
VELMIRA_ROLE_TEXT(no, "Нет")
#undef VELMIRA_ROLE_TEXT

const std::string& name_for_code(std::string_view code) {
  static const std::array<std::pair<std::string_view, const std::string*>, 7> codes = {{
      {"Dire", &director()},
      {"Zame", &deputy()},
      {"Uhit", &teacher()},
      {"Disp", &dispatcher()},
      {"Stol", &canteen()},
      {"Uche", &pupil()},
      {"Rodi", &parent()},
  }};
  static const std::string none;
  for (const auto& [c, name] : codes) {
    if (c == code) return *name;
  }
  return none;
}

}  // namespace velmira::roles
