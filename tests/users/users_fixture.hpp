#pragma once
// What the users tests build their tables and files from.
#include <initializer_list>

#include "core/data_directory.hpp"
#include "core/text_codec.hpp"
#include "support/temp_dir.hpp"
#include "users/user_table.hpp"
#include "users/users_file.hpp"

namespace velmira::testing {

inline std::string w(const char* utf8) { return from_utf8(utf8); }

// A user row from UTF-8 columns in table order; missing columns are empty.
inline TMassLogIn row(std::initializer_list<const char*> utf8_columns) {
  TMassLogIn r;
  size_t i = 0;
  for (const char* c : utf8_columns) r[i++] = from_utf8(c);
  return r;
}

// The refusal of a login or password with a character logins may not have,
// UTF-8.
inline constexpr const char* bad_characters =
    "Логин или пароль содержат недопустимые символы.\nЛогин и пароль могут содержать лишь цифры и латинские буквы.";

// A table with its users file in a fresh data directory.
struct users_on_disk {
  temp_dir dir;
  data_directory data{dir.path()};
  user_table table;
  users_file file{data, table};
};

}  // namespace velmira::testing
