#include "core/greeting.hpp"

#include "core/fields.hpp"

namespace velmira {

greeting build_greeting(const settings_page& page, const std::string& organisation,
                        const std::string& calendar_off_flag) {
  auto joined = [](std::initializer_list<std::string> fields) {
    std::string text;
    for (const auto& f : fields) text += f + "$";
    return text;
  };
  return {
      joined({page.client_version, page.data_http_port, page.file_server_port, page.phone, page.site,
              page.email, page.vk}),
      joined({page.http_login, page.http_password, CodOrg(organisation),
              page.calendar_on ? "1" : calendar_off_flag}),
  };
}

}  // namespace velmira
