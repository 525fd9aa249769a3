#pragma once
// The user table: rows of nine Windows-1251 columns, published as an
// immutable snapshot so that a lookup on any thread sees the table before
// or after a reload, never a half-filled one.
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/published.hpp"

namespace velmira {

// One user: 0 active flag, 1 full name, 2 class, 3 role name, 4 login,
// 5 password, 6 may read announcements, 7 may publish announcements,
// 8 may publish notes.
using TMassLogIn = std::array<std::string, 9>;
using user_rows = std::vector<TMassLogIn>;

namespace user_column {
inline constexpr size_t active = 0, full_name = 1, class_name = 2, role = 3, login = 4, password = 5,
                        may_read_news = 6, may_publish_news = 7, may_publish_notes = 8;
}

// The index of the first active row with exactly this login, password and
// the role the code stands for, or -1.
int PoiskUser(const user_rows& rows, std::string_view login, std::string_view password,
              std::string_view role_code);

class user_table {
 public:
  std::shared_ptr<const user_rows> snapshot() const;
  void replace(user_rows rows);

  // The row PoiskUser finds in the current table, or null. The one lookup
  // of every request that names a user: rows are indexed by login, since a
  // school has hundreds of users and every log-in asks.
  std::shared_ptr<const TMassLogIn> find(std::string_view login, std::string_view password,
                                         std::string_view role_code) const;

 private:
  struct indexed_rows {
    user_rows rows;
    // Row indexes per login, in table order.
    std::unordered_map<std::string, std::vector<size_t>> by_login;
  };
  published<indexed_rows> table_;
};

}  // namespace velmira
