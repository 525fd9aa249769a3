#include "core/access_settings.hpp"

namespace velmira {

access_settings access_settings_from(const settings_page& page) {
  return {page.http_login, page.http_password, page.allow_remote_admin, page.admin_login, page.admin_password};
}

std::optional<admin_refusal> admin_credentials_refusal(const access_settings& settings, std::string_view login,
                                                       std::string_view password) {
  if (!settings.remote_admin_allowed) return admin_refusal::forbidden;
  // An empty pair would open the channel, and with it users.ini and
  // setting.ini over HTTP, to anybody.
  const bool configured = !settings.admin_login.empty() && !settings.admin_password.empty();
  if (!configured || login != settings.admin_login || password != settings.admin_password) {
    return admin_refusal::wrong_credentials;
  }
  return std::nullopt;
}

}  // namespace velmira
