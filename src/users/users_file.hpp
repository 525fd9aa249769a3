#pragma once
// users.ini: one user a line, the columns in the order 1, 0, 2 … 8, each
// followed by "$"; read from the top up to the first empty line.
#include <string>
#include <string_view>

#include "core/data_directory.hpp"
#include "users/user_table.hpp"

namespace velmira {

user_rows parse_users(std::string_view text);
std::string format_users(const user_rows& rows);

class users_file {
 public:
  users_file(const data_directory& data, user_table& table) : data_(data), table_(table) {}

  // `dop` is "" for the server's own file, "remote\" for the working copy.
  // A missing file is an empty table; an unreadable one leaves the table
  // empty and throws data_file_error.
  void LoadUser(std::string_view dop);
  // Atomic: a failed save leaves the old file whole.
  void SaveUser(std::string_view dop) const;
  void masClear(std::string_view tip);

 private:
  const data_directory& data_;
  user_table& table_;
};

}  // namespace velmira
