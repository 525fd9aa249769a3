#include "users/user_table.hpp"

#include "users/roles.hpp"

namespace velmira {

namespace {

bool matches(const TMassLogIn& row, std::string_view password, const std::string& role) {
  return row[user_column::password] == password && row[user_column::role] == role &&
         row[user_column::active] == "1";
}

}  // namespace

int PoiskUser(const user_rows& rows, std::string_view login, std::string_view password,
              std::string_view role_code) {
  const std::string& role = roles::name_for_code(role_code);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i][user_column::login] == login && matches(rows[i], password, role)) return static_cast<int>(i);
  }
  return -1;
}

std::shared_ptr<const user_rows> user_table::snapshot() const {
  auto table = table_.get();
  return {table, &table->rows};
}

void user_table::replace(user_rows rows) {
  indexed_rows table{std::move(rows), {}};
  for (size_t i = 0; i < table.rows.size(); ++i) table.by_login[table.rows[i][user_column::login]].push_back(i);
  table_.publish(std::move(table));
}

std::shared_ptr<const TMassLogIn> user_table::find(std::string_view login, std::string_view password,
                                                   std::string_view role_code) const {
  auto table = table_.get();
  auto same_login = table->by_login.find(std::string(login));
  if (same_login == table->by_login.end()) return nullptr;
  const std::string& role = roles::name_for_code(role_code);
  for (size_t i : same_login->second) {
    if (matches(table->rows[i], password, role)) return {table, &table->rows[i]};
  }
  return nullptr;
}

}  // namespace velmira
