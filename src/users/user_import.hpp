#pragma once
// Adding users from a class list, and the table as such a list.
//
// Import reads CSV (RFC 4180: fields in double quotes may hold the
// separator, line breaks and doubled quotes):
// - bytes that are well-formed UTF-8 are UTF-8, anything else is
//   Windows-1251; a UTF-8 byte-order mark is dropped;
// - ";" or "," between fields: whichever the header line uses more often
//   outside quotes (";" when it uses neither);
// - a header line names the columns "ФИО", "Класс", "Роль", "Логин",
//   "Пароль", "Активен", "Просмотр объявлений", "Добавление объявлений",
//   "Добавление заметок" in any order, letter case aside; other columns are
//   ignored. "Роль", "Логин" and "Пароль" are required;
// - a yes/no cell is "1"/"0", "да"/"нет", "yes"/"no", "true"/"false" or
//   "+"/"" (empty), letter case aside. Without its column "Активен" and
//   "Просмотр объявлений" are yes, the two publishing rights no;
// - a class is a number from 1 to 11, then a letter of the form's list
//   (either case, a space or "-" between them allowed), or the number alone;
// - a role is one of the seven role names, letter case aside;
// - cells lose the spaces and tabs around them, then the "'" that export
//   puts before a cell a spreadsheet would take for a formula (below); a
//   line break inside a quoted cell becomes a space.
// Every record then goes through the form and "Добавить пользователя"
// exactly as typed by the operator, except that a record matching a user
// (one already in the table or one added by an earlier record) is reported
// and never changes that user. Nothing is saved: the page's "Сохранить"
// does that.
//
// Export writes the same nine columns in the order above as UTF-8 with a
// byte-order mark (spreadsheet programs take UTF-8 for the local code page
// without it), ";" between fields, CR LF after every record, yes/no cells as
// "да"/"нет". A cell that begins with "=", "+", "-", "@", a tab or a CR,
// which a spreadsheet program would take for a formula, or with "'", is
// written with a "'" before it; import takes such a "'" off again and reads
// the export back to the same table.
//
// Not thread-safe: run on the operator executor, like the page.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "users/user_table.hpp"

namespace velmira {

struct import_options {
  // Fill an empty login or password cell with a generated one: a login of
  // pronounceable syllables and two digits that no user has yet, a password
  // of eight letters and digits; both only of characters logins may have.
  bool generate_missing = false;
  // A number drawn uniformly below `bound`; the kernel's random source when
  // empty.
  std::function<std::uint32_t(std::uint32_t bound)> random;
};

enum class import_outcome { added, refused, exists };

struct imported_user {
  std::size_t line = 0;  // where the record starts in the file; the header is line 1
  import_outcome outcome = import_outcome::refused;
  std::string message;  // why it was not added, Windows-1251; empty when added
  // The table row added, or the row the record matches.
  std::optional<std::size_t> row;
  // As the form held them, generated ones included; Windows-1251.
  std::string full_name, login, password;
};

struct import_report {
  // Why the whole file was refused (Windows-1251); nothing was added then.
  std::optional<std::string> error;
  std::vector<imported_user> users;  // one per non-blank record, in file order
  std::size_t added() const;
};

// Appends the accepted records to the table in one step.
import_report import_users(user_table& table, std::string_view csv_bytes, const import_options& options = {});

std::string export_users_csv(const user_rows& rows);

}  // namespace velmira
