#include "users/user_import.hpp"

#include <algorithm>
#include <array>
#include <random>
#include <unordered_set>
#include <variant>

#include "core/fields.hpp"
#include "core/text_codec.hpp"
#include "users/roles.hpp"
#include "users/user_admin_page.hpp"

namespace velmira {

namespace {

// The columns in export order, UTF-8.
enum column { full_name, class_name, role, login, password, active, may_read, may_publish_news, may_publish_notes };
constexpr std::array<const char*, 9> column_names = {
    "ФИО",      "Класс",  "Роль", "Логин", "Пароль", "Активен", "Просмотр объявлений", "Добавление объявлений",
    "Добавление заметок"};
constexpr std::array<column, 3> required_columns = {role, login, password};
// What a yes/no column means when the file has no such column.
constexpr std::array<bool, 9> absent_column_value = {false, false, false, false, false, true, true, false, false};

// Windows-1251 letter case: Latin, А-Я, Ё.
char lower(char c) {
  auto b = static_cast<unsigned char>(c);
  if (b >= 'A' && b <= 'Z') return static_cast<char>(b + 32);
  if (b >= 0xC0 && b <= 0xDF) return static_cast<char>(b + 32);
  if (b == 0xA8) return static_cast<char>(0xB8);
  return c;
}

char upper(char c) {
  auto b = static_cast<unsigned char>(c);
  if (b >= 'a' && b <= 'z') return static_cast<char>(b - 32);
  if (b >= 0xE0) return static_cast<char>(b - 32);
  if (b == 0xB8) return static_cast<char>(0xA8);
  return c;
}

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lower);
  return out;
}

std::string_view trimmed(std::string_view text) {
  auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// ---- CSV ----------------------------------------------------------------

struct csv_record {
  std::size_t line = 0;
  std::vector<std::string> cells;
};

bool is_line_break(char c) { return c == '\r' || c == '\n'; }

// Steps over one line break (CR LF counts once) and counts it.
void skip_line_break(std::string_view text, std::size_t& i, std::size_t& line) {
  if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
  ++i;
  ++line;
}

char detect_separator(std::string_view text) {
  std::size_t semicolons = 0, commas = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (is_line_break(c)) break;
    semicolons += c == ';';
    commas += c == ',';
  }
  return commas > semicolons ? ',' : ';';
}

// Records or, when a quote is never closed, the line it opened on.
std::variant<std::vector<csv_record>, std::size_t> parse_csv(std::string_view text, char separator) {
  std::vector<csv_record> records;
  std::size_t i = 0, line = 1;
  while (i < text.size()) {
    csv_record record{line, {}};
    for (;;) {
      std::string cell;
      if (i < text.size() && text[i] == '"') {
        std::size_t opened_on = line;
        for (++i;; ) {
          if (i >= text.size()) return opened_on;
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              cell += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (is_line_break(text[i])) {
            std::size_t from = i;
            skip_line_break(text, i, line);
            cell.append(text.substr(from, i - from));
          } else {
            cell += text[i++];
          }
        }
      }
      // Unquoted text, or whatever follows a closing quote before the
      // separator: kept as it stands rather than guessed at.
      while (i < text.size() && text[i] != separator && !is_line_break(text[i])) cell += text[i++];
      record.cells.push_back(std::move(cell));
      if (i < text.size() && text[i] == separator) {
        ++i;
        continue;
      }
      if (i < text.size()) skip_line_break(text, i, line);
      break;
    }
    records.push_back(std::move(record));
  }
  return records;
}

bool blank(const csv_record& record) {
  return std::all_of(record.cells.begin(), record.cells.end(),
                     [](const std::string& cell) { return trimmed(cell).empty(); });
}

// A spreadsheet program takes a cell that begins with one of these for a
// formula (or a command it runs); a quote before it makes the cell text.
// A cell that begins with the quote itself gets one more, so that import,
// which takes one such quote off, gives every cell back as it was.
constexpr char formula_guard = '\'';
constexpr std::string_view guarded_starts = "=+-@\t\r'";

bool needs_guard(std::string_view cell) {
  return !cell.empty() && guarded_starts.find(cell.front()) != std::string_view::npos;
}

std::string guarded(std::string_view cell) {
  return needs_guard(cell) ? formula_guard + std::string(cell) : std::string(cell);
}

std::string_view unguarded(std::string_view cell) {
  if (cell.size() > 1 && cell.front() == formula_guard && needs_guard(cell.substr(1))) cell.remove_prefix(1);
  return cell;
}

// A cell as the form's single-line field should get it.
std::string cell_text(std::string_view cell) {
  std::string out;
  bool in_break = false;
  for (char c : unguarded(trimmed(cell))) {
    if (is_line_break(c)) {
      if (!in_break) out += ' ';
      in_break = true;
    } else {
      out += c;
      in_break = false;
    }
  }
  return out;
}

std::string escaped_cell(std::string_view cell) {
  bool needs_quotes = cell.find_first_of(";\"\r\n") != std::string_view::npos ||
                      (!cell.empty() && (cell.front() == ' ' || cell.back() == ' '));
  if (!needs_quotes) return std::string(cell);
  std::string out = "\"";
  for (char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

// ---- cells --------------------------------------------------------------

std::string text_1251(const char* utf8) { return from_utf8(utf8); }

std::optional<bool> yes_no_cell(std::string_view cell) {
  static const std::array<std::pair<std::string, bool>, 9> words = {{
      {"1", true}, {"0", false}, {text_1251("да"), true}, {text_1251("нет"), false}, {"yes", true},
      {"no", false}, {"true", true}, {"false", false}, {"+", true}}};
  std::string word = lowered(cell);
  if (word.empty()) return false;
  for (const auto& [text, value] : words) {
    if (word == text) return value;
  }
  return std::nullopt;
}

std::optional<std::string> role_cell(std::string_view cell) {
  std::string wanted = lowered(cell);
  for (const std::string* name : {&roles::director(), &roles::deputy(), &roles::teacher(), &roles::dispatcher(),
                                  &roles::parent(), &roles::pupil(), &roles::canteen()}) {
    if (lowered(*name) == wanted) return *name;
  }
  return std::nullopt;
}

struct class_cell_value {
  std::optional<int> number;
  std::optional<std::string> letter;
};

// Nothing when the cell holds text that is no class of the form's lists.
std::optional<class_cell_value> class_cell(std::string_view cell) {
  if (cell.empty()) return class_cell_value{};
  if (auto number = digits_value(cell, 1, 2); number && *number >= 1 && *number <= 11) {
    return class_cell_value{static_cast<int>(*number), std::nullopt};
  }
  std::string compact;
  for (char c : cell) {
    if (c != ' ' && c != '-') compact += upper(c);
  }
  auto parsed = parse_class(compact);
  if (!parsed) return std::nullopt;
  return class_cell_value{parsed->number, parsed->letter};
}

// ---- generated credentials ----------------------------------------------

using random_source = std::function<std::uint32_t(std::uint32_t)>;

random_source kernel_random() {
  return [device = std::make_shared<std::random_device>()](std::uint32_t bound) {
    return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(*device);
  };
}

char pick(std::string_view alphabet, const random_source& random) {
  return alphabet[random(static_cast<std::uint32_t>(alphabet.size())) % alphabet.size()];
}

std::string pronounceable_login(const random_source& random) {
  std::string login;
  for (int syllable = 0; syllable < 3; ++syllable) {
    login += pick("bvgdzklmnprstf", random);
    login += pick("aeiou", random);
  }
  login += pick("0123456789", random);
  login += pick("0123456789", random);
  return login;
}

// No 0/O, 1/l/I: the password is read off a printed list.
std::string random_password(const random_source& random) {
  std::string password;
  for (int i = 0; i < 8; ++i) password += pick("abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789", random);
  return password;
}

std::string unused_login(const random_source& random, std::unordered_set<std::string>& taken) {
  std::string base = pronounceable_login(random);
  std::string login = base;
  // A suffix rather than a fresh draw: a poor source cannot loop forever.
  for (int n = 2; taken.count(login) != 0; ++n) login = base + "_" + std::to_string(n);
  taken.insert(login);
  return login;
}

// ---- the import ---------------------------------------------------------

struct header {
  std::array<std::optional<std::size_t>, 9> index;  // cell index per column
};

std::variant<header, std::string> read_header(const csv_record& record) {
  header found;
  for (std::size_t cell = 0; cell < record.cells.size(); ++cell) {
    std::string name = lowered(trimmed(record.cells[cell]));
    for (std::size_t c = 0; c < column_names.size(); ++c) {
      if (name != lowered(text_1251(column_names[c]))) continue;
      if (found.index[c]) return text_1251("Столбец указан в заголовке дважды: ") + text_1251(column_names[c]);
      found.index[c] = cell;
    }
  }
  std::string missing;
  for (column c : required_columns) {
    if (found.index[c]) continue;
    missing += (missing.empty() ? "" : ", ") + text_1251(column_names[c]);
  }
  if (!missing.empty()) return text_1251("В заголовке нет обязательных столбцов: ") + missing;
  return found;
}

class record_reader {
 public:
  record_reader(const header& head, const csv_record& record) : head_(head), record_(record) {}

  std::string text(column c) const {
    auto at = head_.index[c];
    return at && *at < record_.cells.size() ? cell_text(record_.cells[*at]) : std::string();
  }

  // The record's form values, or why they cannot be put into the form.
  std::variant<user_form_values, std::string> values() const {
    user_form_values values;
    values.login = text(login);
    values.password = text(password);
    values.full_name = text(full_name);
    values.role = role_cell(text(role));
    auto klass = class_cell(text(class_name));
    if (!klass) {
      return text_1251("Класс \"") + text(class_name) +
             text_1251("\" не распознан: нужен номер от 1 до 11 и буква из списка");
    }
    values.class_number = klass->number;
    values.class_letter = klass->letter;
    using flag_member = bool user_form_values::*;
    static constexpr std::array<std::pair<column, flag_member>, 4> flags = {{
        {active, &user_form_values::active},
        {may_read, &user_form_values::may_read_news},
        {may_publish_news, &user_form_values::may_publish_news},
        {may_publish_notes, &user_form_values::may_publish_notes},
    }};
    for (auto [c, flag] : flags) {
      auto value = head_.index[c] ? yes_no_cell(text(c)) : std::optional(absent_column_value[c]);
      if (!value) {
        return text_1251("Столбец \"") + text_1251(column_names[c]) + text_1251("\": значение \"") + text(c) +
               text_1251("\" не распознано");
      }
      values.*flag = *value;
    }
    return values;
  }

 private:
  const header& head_;
  const csv_record& record_;
};

std::string decoded(std::string_view bytes) {
  constexpr std::string_view bom = "\xEF\xBB\xBF";
  if (bytes.substr(0, bom.size()) == bom) bytes.remove_prefix(bom.size());
  return is_valid_utf8(bytes) ? from_utf8(bytes) : std::string(bytes);
}

}  // namespace

std::size_t import_report::added() const {
  return static_cast<std::size_t>(std::count_if(
      users.begin(), users.end(), [](const imported_user& user) { return user.outcome == import_outcome::added; }));
}

import_report import_users(user_table& table, std::string_view csv_bytes, const import_options& options) {
  std::string text = decoded(csv_bytes);
  auto parsed = parse_csv(text, detect_separator(text));
  if (auto* line = std::get_if<std::size_t>(&parsed)) {
    return {text_1251("Кавычка, открытая в строке ") + std::to_string(*line) + text_1251(", не закрыта"), {}};
  }
  auto& records = std::get<std::vector<csv_record>>(parsed);
  if (records.empty()) return {text_1251("Файл пуст: нет даже заголовка"), {}};
  auto head = read_header(records.front());
  if (auto* error = std::get_if<std::string>(&head)) return {*error, {}};

  random_source random = options.random ? options.random : kernel_random();
  user_rows next = *table.snapshot();
  std::unordered_set<std::string> logins;
  for (const auto& row : next) logins.insert(row[user_column::login]);

  const std::string& exists = user_exists_question();
  std::string exists_message = from_utf8(exists.substr(0, exists.find('\n')));
  import_report report;
  for (std::size_t r = 1; r < records.size(); ++r) {
    if (blank(records[r])) continue;
    imported_user& user = report.users.emplace_back();
    user.line = records[r].line;
    auto values = record_reader(std::get<header>(head), records[r]).values();
    if (auto* why = std::get_if<std::string>(&values)) {
      user.message = *why;
      continue;
    }
    auto& filled = std::get<user_form_values>(values);
    if (options.generate_missing && filled.login.empty()) filled.login = unused_login(random, logins);
    if (options.generate_missing && filled.password.empty()) filled.password = random_password(random);
    user_form form;
    form.take(filled);
    user.full_name = form.full_name();
    user.login = form.login();
    user.password = form.password();
    add_check check = check_user_form(form, next);
    if (check.refusal) {
      user.message = *check.refusal;
    } else if (check.match) {
      user.outcome = import_outcome::exists;
      user.message = exists_message;
      user.row = check.match;
    } else {
      user.outcome = import_outcome::added;
      user.row = next.size();
      next.push_back(user_row_from_form(form));
      logins.insert(form.login());
    }
  }
  if (report.added() > 0) table.replace(std::move(next));
  return report;
}

std::string export_users_csv(const user_rows& rows) {
  auto yes_no = [](bool yes) { return yes ? std::string("да") : std::string("нет"); };
  std::string out = "\xEF\xBB\xBF";
  for (std::size_t c = 0; c < column_names.size(); ++c) out += (c ? ";" : "") + std::string(column_names[c]);
  out += "\r\n";
  for (const auto& row : rows) {
    std::array<std::string, 9> cells = {
        to_utf8(row[user_column::full_name]), to_utf8(row[user_column::class_name]),
        to_utf8(row[user_column::role]),      to_utf8(row[user_column::login]),
        to_utf8(row[user_column::password]),  yes_no(row[user_column::active] == "1"),
        yes_no(row[user_column::may_read_news] == roles::yes()),
        yes_no(row[user_column::may_publish_news] == roles::yes()),
        yes_no(row[user_column::may_publish_notes] == roles::yes())};
    for (std::size_t c = 0; c < cells.size(); ++c) out += (c ? ";" : "") + escaped_cell(guarded(cells[c]));
    out += "\r\n";
  }
  return out;
}

}  // namespace velmira
