#pragma once
// The "Пользователи" page of the operator's window: the user form with its
// enabled states, and the operations of the form, the list and its context
// menu over the user table.
//
// The list is the table itself: list row i is table row i at every moment,
// its check box column 0. Every change publishes a new table at once, so
// log-ins on other threads see it before it is saved.
//
// The table and the form hold Windows-1251; the messages and questions an
// operation returns are UTF-8, as the window shows them. Questions are
// returned, never waited for: an operation that asks changes nothing and
// goes on when it is called again with the operator's answer.
//
// Not thread-safe: the page is used on the operator executor only, as are
// the reloads of the table it edits.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/operator_outcome.hpp"
#include "core/settings_page.hpp"
#include "users/user_table.hpp"
#include "users/users_file.hpp"

namespace velmira {

// The roles the form offers, in list order.
const std::vector<std::string>& form_roles();

// The class letters the form offers, in list order: А Б В Г Д Е Ё З И К Л
// М Н О П.
const std::vector<std::string>& class_letters();

struct class_choice {
  int number = 0;      // 1 to 11
  std::string letter;  // one of class_letters()
};

// A stored class as the form reads it: the text without its last character
// as a decimal number from 1 to 11, and the last character a letter of the
// list. Anything else (a hand-edited "12Я" or "Х") is no class at all.
std::optional<class_choice> parse_class(std::string_view class_text);

// What the console or an import puts into the form at once.
struct user_form_values {
  std::string login, password, full_name;
  std::optional<int> class_number;
  std::optional<std::string> class_letter;
  std::optional<std::string> role;
  bool active = false, may_read_news = false, may_publish_news = false, may_publish_notes = false;
};

class user_form {
 public:
  // As a reload leaves it: empty, no role, both publishing boxes and the
  // class lists disabled.
  user_form();

  const std::string& login() const { return login_; }
  const std::string& password() const { return password_; }
  const std::string& full_name() const { return full_name_; }
  const std::optional<std::string>& role() const { return role_; }
  std::optional<int> class_number() const { return class_number_; }
  const std::optional<std::string>& class_letter() const { return class_letter_; }
  bool active() const { return active_; }
  bool may_read_news() const { return may_read_news_; }
  bool may_publish_news() const { return may_publish_news_; }
  bool may_publish_notes() const { return may_publish_notes_; }
  bool may_publish_news_enabled() const { return may_publish_news_enabled_; }
  bool may_publish_notes_enabled() const { return may_publish_notes_enabled_; }
  bool class_lists_enabled() const { return class_lists_enabled_; }

  // The selected number followed by the selected letter; a list without a
  // selection adds nothing.
  std::string class_text() const;

  // The text fields are single-line: they keep the text up to the first
  // line break, so no value can split a line of users.ini.
  void set_login(std::string_view text);
  void set_password(std::string_view text);
  // Typing in the full name applies the role rules, as does choosing a role.
  void set_full_name(std::string_view text);
  // A name that is not one of the seven roles leaves no role selected.
  void select_role(std::optional<std::string_view> role);
  // Ignored while the class lists are disabled; a number outside 1 to 11 or
  // a letter outside the list leaves that list without a selection.
  void select_class_number(std::optional<int> number);
  void select_class_letter(std::optional<std::string_view> letter);
  void set_active(bool checked) { active_ = checked; }
  void set_may_read_news(bool checked) { may_read_news_ = checked; }
  // Ignored while the box is disabled.
  void set_may_publish_news(bool checked);
  void set_may_publish_notes(bool checked);

  // Every control takes its value, then the role rules apply: what the
  // rules disable or clear ends as they leave it.
  void take(const user_form_values& values);

  void UstRol();
  void ClearDan();
  // The form part of masClear("MasLogIn"): a reload empties the form and
  // leaves no role selected.
  void masClear();

  // The row shown in the form (sListView11DblClick); the role rules apply
  // before the login, the password and the check boxes are taken.
  void load_row(const TMassLogIn& row);

 private:
  std::string login_, password_, full_name_;
  std::optional<std::string> role_;
  std::optional<int> class_number_;
  std::optional<std::string> class_letter_;
  bool active_ = false, may_read_news_ = false, may_publish_news_ = false, may_publish_notes_ = false;
  bool may_publish_news_enabled_ = false, may_publish_notes_enabled_ = false, class_lists_enabled_ = false;
};

// The checks and the search of "Добавить пользователя" on a filled form:
// the refusal (one of the fixed messages), or else the last row that is the
// same user — the same login, or the same non-empty full name with the same
// class text. Neither when the user is new. The refusal is Windows-1251, as
// an import reports it beside the names it refused.
struct add_check {
  std::optional<std::string> refusal;
  std::optional<std::size_t> match;
};
add_check check_user_form(const user_form& form, const user_rows& rows);

// The row the form stores, new or in place of a matching one.
TMassLogIn user_row_from_form(const user_form& form);

// The question asked before a matching row is changed (UTF-8).
const std::string& user_exists_question();

class user_admin_page {
 public:
  // Both must outlive the page; `file` loads and saves `table`.
  user_admin_page(user_table& table, users_file& file);

  std::shared_ptr<const user_rows> rows() const { return table_.snapshot(); }
  const user_form& form() const { return form_; }
  user_form& form() { return form_; }

  // "Добавить пользователя": a refusal message, or a new row and a cleared
  // form, or the question whether to change the matching row. With Yes that
  // row is overwritten and the form cleared; with No nothing changes and the
  // form keeps its values. The checks and the search run again on every
  // call: Yes for a row gone meanwhile adds the user.
  operator_outcome BitBtn4Click(operator_answer reply = operator_answer::none);
  // "Очистить личные данные и права".
  void BitBtn5Click() { form_.ClearDan(); }

  // Double click on list row `row`; std::out_of_range past the last row.
  void sListView11DblClick(std::size_t row);
  // The list's check boxes, one per row, become column 0.
  // std::invalid_argument when the count differs from the table's: the
  // list the caller saw is not the table any more.
  void sListView11Click(const std::vector<bool>& checked);

  // n = 1: by login, n = 2: by full name; stable, by the UTF-16 code units
  // of the texts (what Windows-1251 bytes stand for), no locale rules. Any
  // other n changes nothing.
  void SortUser(int n);
  void N8Click() { SortUser(1); }
  void N9Click() { SortUser(2); }

  // "Заблокировать всех", "Активировать всех".
  operator_outcome P1Click(operator_answer reply = operator_answer::none);
  operator_outcome N4Click(operator_answer reply = operator_answer::none);
  // "Удалить" on list row `row`; std::out_of_range past the last row.
  operator_outcome N3Click(std::size_t row, operator_answer reply = operator_answer::none);

  // "Сохранить": writes users.ini, or in remote mode remote\users.ini, and
  // returns that data path; sending the remote copy to the master is the
  // caller's part. Throws data_file_error when the file cannot be written.
  std::string BitBtn9Click(operating_mode mode);

  // Reloads the table from dop + "users.ini" and empties the form, as every
  // reload of the users does.
  void LoadUser(std::string_view dop);

 private:
  operator_outcome set_all_active(const char* question_utf8, const char* flag, operator_answer reply);

  user_table& table_;
  users_file& file_;
  user_form form_;
};

}  // namespace velmira
