#include "users/user_admin_page.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "core/fields.hpp"
#include "core/text_codec.hpp"
#include "users/roles.hpp"

namespace velmira {

namespace {

std::string single_line(std::string_view text) { return std::string(text.substr(0, text.find_first_of("\r\n"))); }

bool is_pupil_or_parent(const std::optional<std::string>& role) {
  return role && (*role == roles::pupil() || *role == roles::parent());
}

bool in_list(const std::vector<std::string>& list, std::string_view entry) {
  return std::find(list.begin(), list.end(), entry) != list.end();
}

std::optional<int> class_number_entry(std::optional<int> number) {
  return number && *number >= 1 && *number <= 11 ? number : std::nullopt;
}

std::optional<std::string> class_letter_entry(std::optional<std::string_view> letter) {
  if (!letter || !in_list(class_letters(), *letter)) return std::nullopt;
  return std::string(*letter);
}

std::optional<std::string> role_entry(std::optional<std::string_view> role) {
  if (!role || !in_list(form_roles(), *role)) return std::nullopt;
  return std::string(*role);
}

const std::string& yes_no(bool checked) { return checked ? roles::yes() : roles::no(); }

}  // namespace

const std::vector<std::string>& form_roles() {
  static const std::vector<std::string> list = {roles::director(), roles::deputy(), roles::teacher(),
                                                roles::dispatcher(), roles::parent(), roles::pupil(),
                                                roles::canteen()};
  return list;
}

const std::vector<std::string>& class_letters() {
  static const std::vector<std::string> letters = [] {
    std::vector<std::string> list;
    for (char letter : from_utf8("АБВГДЕЁЗИКЛМНОП")) list.emplace_back(1, letter);
    return list;
  }();
  return letters;
}

std::optional<class_choice> parse_class(std::string_view class_text) {
  if (class_text.empty()) return std::nullopt;
  auto number = digits_value(class_text.substr(0, class_text.size() - 1), 1, 2);
  auto letter = class_letter_entry(class_text.substr(class_text.size() - 1));
  if (!number || !class_number_entry(static_cast<int>(*number)) || !letter) return std::nullopt;
  return class_choice{static_cast<int>(*number), *letter};
}

user_form::user_form() { masClear(); }

std::string user_form::class_text() const {
  std::string text = class_number_ ? std::to_string(*class_number_) : std::string();
  if (class_letter_) text += *class_letter_;
  return text;
}

void user_form::set_login(std::string_view text) { login_ = single_line(text); }
void user_form::set_password(std::string_view text) { password_ = single_line(text); }

void user_form::set_full_name(std::string_view text) {
  full_name_ = single_line(text);
  UstRol();
}

void user_form::select_role(std::optional<std::string_view> role) {
  role_ = role_entry(role);
  UstRol();
}

void user_form::select_class_number(std::optional<int> number) {
  if (class_lists_enabled_) class_number_ = class_number_entry(number);
}

void user_form::select_class_letter(std::optional<std::string_view> letter) {
  if (class_lists_enabled_) class_letter_ = class_letter_entry(letter);
}

void user_form::set_may_publish_news(bool checked) {
  if (may_publish_news_enabled_) may_publish_news_ = checked;
}

void user_form::set_may_publish_notes(bool checked) {
  if (may_publish_notes_enabled_) may_publish_notes_ = checked;
}

void user_form::take(const user_form_values& values) {
  login_ = single_line(values.login);
  password_ = single_line(values.password);
  full_name_ = single_line(values.full_name);
  role_ = role_entry(values.role);
  class_number_ = class_number_entry(values.class_number);
  class_letter_ = class_letter_entry(values.class_letter);
  active_ = values.active;
  may_read_news_ = values.may_read_news;
  may_publish_news_ = values.may_publish_news;
  may_publish_notes_ = values.may_publish_notes;
  UstRol();
}

void user_form::UstRol() {
  may_publish_news_enabled_ = may_publish_notes_enabled_ = false;
  if (!full_name_.empty()) {
    may_publish_news_enabled_ = may_publish_notes_enabled_ = true;
  } else {
    may_publish_news_ = may_publish_notes_ = false;
  }
  class_lists_enabled_ = is_pupil_or_parent(role_) && !full_name_.empty();
  if (!class_lists_enabled_) {
    class_number_.reset();
    class_letter_.reset();
  }
  if (role_ == roles::dispatcher()) {
    may_publish_notes_ = true;
    may_publish_notes_enabled_ = false;
  }
}

void user_form::ClearDan() {
  login_.clear();
  password_.clear();
  full_name_.clear();
  active_ = may_read_news_ = may_publish_news_ = may_publish_notes_ = false;
  may_publish_news_enabled_ = may_publish_notes_enabled_ = false;
  role_ = roles::director();
  class_number_.reset();
  class_letter_.reset();
  class_lists_enabled_ = false;
}

void user_form::masClear() {
  ClearDan();
  role_.reset();
}

void user_form::load_row(const TMassLogIn& row) {
  full_name_ = row[user_column::full_name];
  if (auto role = role_entry(row[user_column::role])) role_ = role;
  auto stored_class = is_pupil_or_parent(row[user_column::role]) ? parse_class(row[user_column::class_name])
                                                                  : std::nullopt;
  class_number_ = stored_class ? std::optional(stored_class->number) : std::nullopt;
  class_letter_ = stored_class ? std::optional(stored_class->letter) : std::nullopt;
  UstRol();
  login_ = row[user_column::login];
  password_ = row[user_column::password];
  may_read_news_ = row[user_column::may_read_news] == roles::yes();
  may_publish_news_ = row[user_column::may_publish_news] == roles::yes();
  may_publish_notes_ = row[user_column::may_publish_notes] == roles::yes();
  active_ = row[user_column::active] == "1";
}

add_check check_user_form(const user_form& form, const user_rows& rows) {
  if (!form.role()) return {from_utf8("Нужно указать роль"), std::nullopt};
  if (!PoiskBukv(form.login(), 1) || !PoiskBukv(form.password(), 1)) {
    return {from_utf8("Логин или пароль содержат недопустимые символы.\n"
                      "Логин и пароль могут содержать лишь цифры и латинские буквы."),
            std::nullopt};
  }
  const std::string& name = form.full_name();
  if (name.find('$') != std::string::npos) return {from_utf8("ФИО не может содержать знак $"), std::nullopt};
  // "|" and "^" end a line and a file on the administration channel: such a
  // name would break the master's users.ini when a remote copy is saved.
  if (name.find_first_of("|^") != std::string::npos) {
    return {from_utf8("ФИО не может содержать знаки | и ^"), std::nullopt};
  }
  std::string class_text = form.class_text();
  std::optional<std::size_t> match;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TMassLogIn& row = rows[i];
    if (row[user_column::login] == form.login() ||
        (!name.empty() && row[user_column::full_name] == name && row[user_column::class_name] == class_text)) {
      match = i;
    }
  }
  return {std::nullopt, match};
}

TMassLogIn user_row_from_form(const user_form& form) {
  TMassLogIn row;
  row[user_column::active] = form.active() ? "1" : "0";
  row[user_column::full_name] = form.full_name();
  // The role rules leave a class only to a pupil or a parent with a full
  // name, which is all a new row may take and all a changed one can.
  row[user_column::class_name] = form.class_text();
  row[user_column::role] = form.role().value_or(std::string());
  row[user_column::login] = form.login();
  row[user_column::password] = form.password();
  row[user_column::may_read_news] = yes_no(form.may_read_news());
  row[user_column::may_publish_news] = yes_no(form.may_publish_news());
  row[user_column::may_publish_notes] = yes_no(form.may_publish_notes());
  return row;
}

const std::string& user_exists_question() {
  static const std::string text = "Такой пользователь уже существует.\nВнести изменения?";
  return text;
}

user_admin_page::user_admin_page(user_table& table, users_file& file) : table_(table), file_(file) {}

operator_outcome user_admin_page::BitBtn4Click(operator_answer reply) {
  auto rows = table_.snapshot();
  add_check check = check_user_form(form_, *rows);
  if (check.refusal) return operator_outcome::showing(to_utf8(*check.refusal));
  // No never changes the table, even when the row it was asked about has
  // gone meanwhile.
  if (reply == operator_answer::no) return {};
  if (check.match && reply == operator_answer::none) return operator_outcome::asking(user_exists_question());
  user_rows next = *rows;
  if (check.match) {
    next[*check.match] = user_row_from_form(form_);
  } else {
    next.push_back(user_row_from_form(form_));
  }
  table_.replace(std::move(next));
  form_.ClearDan();
  return {};
}

void user_admin_page::sListView11DblClick(std::size_t row) { form_.load_row(table_.snapshot()->at(row)); }

void user_admin_page::sListView11Click(const std::vector<bool>& checked) {
  user_rows next = *table_.snapshot();
  if (checked.size() != next.size()) throw std::invalid_argument("check boxes do not match the user list");
  for (std::size_t i = 0; i < next.size(); ++i) next[i][user_column::active] = checked[i] ? "1" : "0";
  table_.replace(std::move(next));
}

namespace {

// Windows-1251 bytes ranked by the UTF-16 code unit each stands for: the
// order the texts had where they were typed, so "ё" follows "я" as it does
// there, not "Ё"'s neighbours as its byte value would put it. UTF-8 keeps
// code point order byte for byte, and every character here is in the BMP.
const std::array<unsigned char, 256>& code_unit_rank() {
  static const std::array<unsigned char, 256> rank = [] {
    std::array<std::string, 256> utf8;
    std::array<unsigned char, 256> order{};
    for (int b = 0; b < 256; ++b) {
      utf8[b] = to_utf8(std::string(1, static_cast<char>(b)));
      order[b] = static_cast<unsigned char>(b);
    }
    std::stable_sort(order.begin(), order.end(), [&](unsigned char a, unsigned char b) { return utf8[a] < utf8[b]; });
    std::array<unsigned char, 256> ranks{};
    for (int i = 0; i < 256; ++i) ranks[order[i]] = static_cast<unsigned char>(i);
    return ranks;
  }();
  return rank;
}

bool code_units_less(const std::string& a, const std::string& b) {
  const auto& rank = code_unit_rank();
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) {
    return rank[static_cast<unsigned char>(x)] < rank[static_cast<unsigned char>(y)];
  });
}

}  // namespace

void user_admin_page::SortUser(int n) {
  if (n != 1 && n != 2) return;
  std::size_t column = n == 1 ? user_column::login : user_column::full_name;
  user_rows next = *table_.snapshot();
  std::stable_sort(next.begin(), next.end(),
                   [column](const TMassLogIn& a, const TMassLogIn& b) { return code_units_less(a[column], b[column]); });
  table_.replace(std::move(next));
}

operator_outcome user_admin_page::set_all_active(const char* question_utf8, const char* flag, operator_answer reply) {
  if (reply == operator_answer::none) return operator_outcome::asking(question_utf8);
  if (reply == operator_answer::no) return operator_outcome::showing("Вы уж определитесь");
  user_rows next = *table_.snapshot();
  for (auto& row : next) row[user_column::active] = flag;
  table_.replace(std::move(next));
  return {};
}

operator_outcome user_admin_page::P1Click(operator_answer reply) {
  return set_all_active("Заблокировать всех пользователей?", "0", reply);
}

operator_outcome user_admin_page::N4Click(operator_answer reply) {
  return set_all_active("Активировать всех пользователей?", "1", reply);
}

operator_outcome user_admin_page::N3Click(std::size_t row, operator_answer reply) {
  auto rows = table_.snapshot();
  const TMassLogIn& doomed = rows->at(row);
  if (reply == operator_answer::none) {
    return operator_outcome::asking("Вы действительно хотите удалить \n" + to_utf8(doomed[user_column::full_name]));
  }
  if (reply == operator_answer::no) return operator_outcome::showing("Какие вы не решительные");
  user_rows next = *rows;
  next.erase(next.begin() + static_cast<std::ptrdiff_t>(row));
  table_.replace(std::move(next));
  return {};
}

std::string user_admin_page::BitBtn9Click(operating_mode mode) {
  std::string dop = mode == operating_mode::remote ? "remote\\" : "";
  file_.SaveUser(dop);
  return dop + "users.ini";
}

void user_admin_page::LoadUser(std::string_view dop) {
  form_.masClear();
  file_.LoadUser(dop);
}

}  // namespace velmira
