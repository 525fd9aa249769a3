#pragma once
// The user name and password of an "Authorization: Basic …" header.
// Pure functions, safe from any thread.
#include <optional>
#include <string>
#include <string_view>

namespace velmira {

struct basic_credentials {
  std::string user;      // Windows-1251
  std::string password;  // Windows-1251
};

// Nothing when the header is absent, names another scheme, or its token is
// not padded Base64 of "user:password". The decoded bytes are read as
// text_from_wire does, so UTF-8 and Windows-1251 clients both match the
// Windows-1251 settings.
std::optional<basic_credentials> parse_basic_authorization(std::string_view header);

}  // namespace velmira
