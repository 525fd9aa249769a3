#pragma once
// "conec", "zameV", "newsV": log-in and the permission queries. Stateless;
// nothing here changes state or writes to the log, and every answer comes
// from published snapshots, so they run on any thread and wait for nothing.
#include <memory>
#include <string>
#include <string_view>

#include "core/greeting.hpp"
#include "core/published.hpp"
#include "users/user_table.hpp"

namespace velmira {

class login_commands {
 public:
  // Both must outlive this.
  login_commands(const user_table& users, const published<greeting>& greeting)
      : users_(users), greeting_(greeting) {}

  // Replies are Windows-1251.
  std::string conec(std::string_view rol, std::string_view arguments) const;
  std::string zameV(std::string_view rol, std::string_view arguments) const;
  std::string newsV(std::string_view rol, std::string_view arguments) const;

  // The reply to an accepted log-in with the given notes flag.
  std::string connection_data(std::string_view notes_flag) const;

 private:
  // The matching row for "login;password;" in `arguments`, if any.
  std::shared_ptr<const TMassLogIn> find_user(std::string_view rol, std::string_view arguments) const;

  const user_table& users_;
  const published<greeting>& greeting_;
};

}  // namespace velmira
