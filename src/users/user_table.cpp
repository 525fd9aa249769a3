#include "users/user_table.hpp"

#include "users/roles.hpp"

namespace velmira {

int PoiskUser(const user_rows& rows, std::string_view login, std::string_view password,
              std::string_view role_code) {
  const std::string& role = roles::name_for_code(role_code);
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    if (row[user_column::login] == login && row[user_column::password] == password &&
        row[user_column::role] == role && row[user_column::active] == "1") {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace velmira
