#pragma once
// "conec", "zameV", "newsV": log-in and the permission queries. Stateless;
// nothing here changes state or writes to the log.
#include <optional>
#include <string>
#include <string_view>

#include "core/greeting.hpp"
#include "users/user_table.hpp"

namespace velmira {

class login_commands {
 public:
  // Both must outlive this; `greeting` is read under the operator lock.
  login_commands(const user_table& users, const greeting& greeting) : users_(users), greeting_(greeting) {}

  // Replies are Windows-1251.
  std::string conec(std::string_view rol, std::string_view arguments) const;
  std::string zameV(std::string_view rol, std::string_view arguments) const;
  std::string newsV(std::string_view rol, std::string_view arguments) const;

  // The reply to an accepted log-in with the given notes flag.
  std::string connection_data(std::string_view notes_flag) const;

 private:
  // The matching row for "login;password;" in `arguments`, if any.
  std::optional<TMassLogIn> find_user(std::string_view rol, std::string_view arguments) const;

  const user_table& users_;
  const greeting& greeting_;
};

}  // namespace velmira
