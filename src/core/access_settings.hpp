#pragma once
// The credentials and switches that the read paths check on every request
// (HTTP file service, administration channel), taken whole from the
// settings page at one moment, so that a request never sees a login of one
// save and a password of the next. They are the local file's values in
// either mode: while the page shows a master's copy these lines stay local.
// All texts Windows-1251.
#include <optional>
#include <string>
#include <string_view>

#include "core/settings_page.hpp"

namespace velmira {

struct access_settings {
  std::string http_login;             // setting line 9
  std::string http_password;          // setting line 10
  bool remote_admin_allowed = false;  // line 30, "Разрешить удаленное управление"
  std::string admin_login;            // line 31
  std::string admin_password;         // line 32
};

// Read on the operator's thread, where the page lives.
access_settings access_settings_from(const settings_page& page);

// Why the administration channel refuses a login and password; nothing
// when it accepts them.
enum class admin_refusal { forbidden, wrong_credentials };
std::optional<admin_refusal> admin_credentials_refusal(const access_settings& settings, std::string_view login,
                                                       std::string_view password);

}  // namespace velmira
