#include "users/users_file.hpp"

#include "core/data_file.hpp"
#include "core/fields.hpp"

namespace velmira {

namespace {

// Field k of a line (from 1) goes to this column; fields past nine are
// outside the format and dropped.
constexpr size_t column_of_field[] = {0, user_column::full_name, user_column::active, 2, 3, 4, 5, 6, 7, 8};
constexpr size_t field_count = 9;

std::string users_path(std::string_view dop) { return std::string(dop) + "users.ini"; }

}  // namespace

user_rows parse_users(std::string_view text) {
  user_rows rows;
  for (const auto& line : lines_up_to_empty(split_lines(text))) {
    std::string_view rest = line;
    if (rest.find('$') == std::string_view::npos) continue;
    TMassLogIn& row = rows.emplace_back();
    for (size_t field = 1; field <= field_count && rest.find('$') != std::string_view::npos; ++field) {
      std::string_view value = cut_field(rest, '$');
      if (field == 2) {
        row[user_column::active] = value == "1" ? "1" : "0";
      } else {
        row[column_of_field[field]] = value;
      }
    }
  }
  return rows;
}

std::string format_users(const user_rows& rows) {
  std::vector<std::string> lines;
  lines.reserve(rows.size());
  for (const auto& row : rows) {
    std::string line;
    for (size_t field = 1; field <= field_count; ++field) {
      line += row[column_of_field[field]];
      line += '$';
    }
    lines.push_back(std::move(line));
  }
  return join_lines(lines);
}

void users_file::LoadUser(std::string_view dop) {
  masClear("MasLogIn");
  auto text = read_file(data_.file(users_path(dop)));
  if (text) table_.replace(parse_users(*text));
}

void users_file::SaveUser(std::string_view dop) const {
  const auto relative = users_path(dop);
  replace_file_atomically(data_.file(relative), format_users(*table_.snapshot()),
                          {.permissions = new_file_permissions(relative)});
}

void users_file::masClear(std::string_view tip) {
  if (tip == "MasLogIn") table_.replace({});
}

}  // namespace velmira
