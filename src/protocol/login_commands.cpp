#include "protocol/login_commands.hpp"

#include "core/fields.hpp"
#include "users/roles.hpp"

namespace velmira {

std::shared_ptr<const TMassLogIn> login_commands::find_user(std::string_view rol, std::string_view arguments) const {
  std::string_view rest = arguments;
  auto login = cut_field(rest, ';');
  auto password = cut_field(rest, ';');
  return users_.find(login, password, rol);
}

std::string login_commands::connection_data(std::string_view notes_flag) const {
  auto hello = greeting_.get();
  return "conec" + hello->soob_connect1 + std::string(notes_flag) + "$" + hello->soob_connect2;
}

std::string login_commands::conec(std::string_view rol, std::string_view arguments) const {
  if (rol == "Zvon") return connection_data("0");
  auto user = find_user(rol, arguments);
  if (!user) return "error";
  return connection_data((*user)[user_column::may_publish_notes] == roles::yes() ? "1" : "0");
}

std::string login_commands::zameV(std::string_view rol, std::string_view arguments) const {
  auto user = find_user(rol, arguments);
  return user && (*user)[user_column::may_publish_notes] == roles::yes() ? "zameV1" : "error";
}

std::string login_commands::newsV(std::string_view rol, std::string_view arguments) const {
  auto user = find_user(rol, arguments);
  if (!user || (*user)[user_column::may_read_news] != roles::yes()) return "error";
  return (*user)[user_column::may_publish_news] == roles::yes() ? "newsV1" : "newsV0";
}

}  // namespace velmira
