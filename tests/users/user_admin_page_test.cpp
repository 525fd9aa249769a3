#include "users/user_admin_page.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/data_file.hpp"
#include "support/case_name.hpp"
#include "users/users_fixture.hpp"

namespace velmira {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::bad_characters;
using testing::row;
using testing::w;

// A form filled as the console fills it: all values at once, then the rules.
user_form_values values(const char* login, const char* password, const char* full_name, const char* role_utf8,
                        std::optional<int> number = std::nullopt, const char* letter_utf8 = nullptr) {
  user_form_values v;
  v.login = w(login);
  v.password = w(password);
  v.full_name = w(full_name);
  if (role_utf8) v.role = w(role_utf8);
  v.class_number = number;
  if (letter_utf8) v.class_letter = w(letter_utf8);
  v.active = true;
  v.may_read_news = true;
  return v;
}

const std::string exists_question = "Такой пользователь уже существует.\nВнести изменения?";

class UserPage : public ::testing::Test, protected testing::users_on_disk {
 protected:
  user_admin_page page{table, file};

  operator_outcome add(const user_form_values& v, operator_answer reply = operator_answer::none) {
    page.form().take(v);
    return page.BitBtn4Click(reply);
  }
  const user_rows& rows() {
    held_ = table.snapshot();
    return *held_;
  }
  std::vector<std::string> column(size_t c) {
    std::vector<std::string> out;
    for (const auto& r : rows()) out.push_back(r[c]);
    return out;
  }

 private:
  std::shared_ptr<const user_rows> held_;
};

// ---- role rules ---------------------------------------------------------

struct role_rule_case {
  const char* name;
  const char* role;
  const char* full_name;
  bool news_enabled, notes_enabled, news_checked, notes_checked, class_lists_enabled;
  const char* class_text;
};

class RoleRules : public UserPage, public ::testing::WithParamInterface<role_rule_case> {};

// Starts from a pupil with class 7Б and both rights checked, then changes
// the role and the full name as the operator would.
TEST_P(RoleRules, DecideRightsAndClassFromRoleAndFullName) {
  const auto& c = GetParam();
  user_form& form = page.form();
  form.set_full_name(w("Петров Пётр"));
  form.select_role(w("Ученик"));
  form.select_class_number(7);
  form.select_class_letter(w("Б"));
  form.set_may_publish_news(true);
  form.set_may_publish_notes(true);
  ASSERT_EQ(form.class_text(), w("7Б"));

  form.select_role(w(c.role));
  form.set_full_name(w(c.full_name));

  EXPECT_EQ(form.may_publish_news_enabled(), c.news_enabled);
  EXPECT_EQ(form.may_publish_notes_enabled(), c.notes_enabled);
  EXPECT_EQ(form.may_publish_news(), c.news_checked);
  EXPECT_EQ(form.may_publish_notes(), c.notes_checked);
  EXPECT_EQ(form.class_lists_enabled(), c.class_lists_enabled);
  EXPECT_EQ(form.class_text(), w(c.class_text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RoleRules,
    ::testing::Values(role_rule_case{"PupilWithName", "Ученик", "Петров Пётр", true, true, true, true, true, "7Б"},
                      role_rule_case{"ParentWithName", "Родитель", "Петров Пётр", true, true, true, true, true, "7Б"},
                      role_rule_case{"PupilWithoutName", "Ученик", "", false, false, false, false, false, ""},
                      role_rule_case{"TeacherWithName", "Учитель", "Петров Пётр", true, true, true, true, false, ""},
                      role_rule_case{"DispatcherWithoutName", "Диспетчер", "", false, false, false, true, false, ""},
                      role_rule_case{"DispatcherWithName", "Диспетчер", "Петров Пётр", true, false, true, true, false,
                                     ""},
                      role_rule_case{"CanteenWithoutName", "Столовая", "", false, false, false, false, false, ""}),
    testing::by_name);

TEST_F(UserPage, DisabledControlsIgnoreTheOperator) {
  user_form& form = page.form();
  form.select_role(w("Ученик"));  // no full name: class lists and rights disabled
  form.select_class_number(5);
  form.select_class_letter(w("А"));
  form.set_may_publish_news(true);
  form.set_may_publish_notes(true);
  EXPECT_EQ(form.class_text(), "");
  EXPECT_FALSE(form.may_publish_news());
  EXPECT_FALSE(form.may_publish_notes());
}

TEST_F(UserPage, FormStartsWithoutRoleAndClearDanSelectsDirector) {
  EXPECT_EQ(page.form().role(), std::nullopt);
  page.form().take(values("b", "q", "Петров", "Родитель", 3, "Б"));
  page.BitBtn5Click();
  const user_form& form = page.form();
  EXPECT_EQ(form.role(), w("Директор"));
  EXPECT_EQ(form.login(), "");
  EXPECT_EQ(form.password(), "");
  EXPECT_EQ(form.full_name(), "");
  EXPECT_FALSE(form.active() || form.may_read_news() || form.may_publish_news() || form.may_publish_notes());
  EXPECT_FALSE(form.may_publish_news_enabled() || form.may_publish_notes_enabled() || form.class_lists_enabled());
  EXPECT_EQ(form.class_text(), "");
}

TEST_F(UserPage, TextFieldsKeepOneLine) {
  page.form().take(values("ivanov\r\nx", "pw\nq", "Иванов\r\nпустое$", "Учитель"));
  EXPECT_EQ(page.form().login(), "ivanov");
  EXPECT_EQ(page.form().password(), "pw");
  EXPECT_EQ(page.form().full_name(), w("Иванов"));
}

// ---- add or change ------------------------------------------------------

struct refusal_case {
  const char* name;
  const char* login;
  const char* password;
  const char* full_name;
  const char* role;  // null: none selected
  const char* message;
};

class AddRefusal : public UserPage, public ::testing::WithParamInterface<refusal_case> {};

TEST_P(AddRefusal, ShowsItsMessageAndChangesNothing) {
  const auto& c = GetParam();
  table.replace({row({"1", "Старый", "", "Учитель", "old", "pw", "Да", "Нет", "Нет"})});
  auto before = table.snapshot();
  operator_outcome reply = add(values(c.login, c.password, c.full_name, c.role));
  EXPECT_THAT(reply.messages, ElementsAre(c.message));
  EXPECT_EQ(reply.question, std::nullopt);
  EXPECT_EQ(*table.snapshot(), *before);
  EXPECT_EQ(page.form().login(), w(c.login)) << "a refusal keeps the form filled";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddRefusal,
    ::testing::Values(
        refusal_case{"NoRole", "new", "pw", "Новый", nullptr, "Нужно указать роль"},
        refusal_case{"NoRoleBeforeABadLogin", "bad login", "pw", "", nullptr, "Нужно указать роль"},
        refusal_case{"EmptyLogin", "", "pw", "", "Учитель", bad_characters},
        refusal_case{"CyrillicLogin", "иванов", "pw", "", "Учитель", bad_characters},
        refusal_case{"SpaceInLogin", "ivan ov", "pw", "", "Учитель", bad_characters},
        refusal_case{"DotInLogin", "ivan.ov", "pw", "", "Учитель", bad_characters},
        refusal_case{"EmptyPassword", "ivanov", "", "", "Учитель", bad_characters},
        refusal_case{"DollarInPassword", "ivanov", "pa$s", "", "Учитель", bad_characters},
        refusal_case{"DollarInFullName", "ivanov", "pw", "Иванов $", "Учитель", "ФИО не может содержать знак $"},
        refusal_case{"BarInFullName", "ivanov", "pw", "Иванов | Петров", "Учитель",
                     "ФИО не может содержать знаки | и ^"},
        refusal_case{"CaretInFullName", "ivanov", "pw", "Иванов^", "Учитель", "ФИО не может содержать знаки | и ^"},
        // Refused before the search, though "old" would match.
        refusal_case{"DollarInFullNameOfAnExistingLogin", "old", "pw", "Ива$нов", "Учитель",
                     "ФИО не может содержать знак $"}),
    testing::by_name);

TEST_F(UserPage, NewUserIsStoredInTableOrderAndTheFormIsCleared) {
  auto v = values("Ab_9-z", "Pw-1_x", "Сидорова Анна", "Ученик", 10, "Ё");
  v.may_publish_notes = true;
  operator_outcome reply = add(v);
  EXPECT_THAT(reply.messages, IsEmpty());
  EXPECT_EQ(reply.question, std::nullopt);
  auto u = values("teacher1", "pw", "", "Учитель");
  u.active = false;
  add(u);
  EXPECT_THAT(rows(), ElementsAre(row({"1", "Сидорова Анна", "10Ё", "Ученик", "Ab_9-z", "Pw-1_x", "Да", "Нет", "Да"}),
                                  row({"0", "", "", "Учитель", "teacher1", "pw", "Да", "Нет", "Нет"})));
  EXPECT_EQ(page.form().login(), "");
  EXPECT_EQ(page.form().role(), w("Директор"));
}

TEST_F(UserPage, DispatcherWithoutFullNameMayPublishNotesButNotAnnouncements) {
  auto v = values("disp", "pw", "", "Диспетчер");
  v.may_publish_news = true;
  add(v);
  ASSERT_EQ(rows().size(), 1u);
  EXPECT_EQ(rows()[0][user_column::may_publish_notes], w("Да"));
  EXPECT_EQ(rows()[0][user_column::may_publish_news], w("Нет"));
}

TEST_F(UserPage, TeacherGetsNoClassEvenIfOneWasChosen) {
  page.form().set_full_name(w("Орлова Ольга"));
  page.form().select_role(w("Ученик"));
  page.form().select_class_number(4);
  page.form().select_class_letter(w("В"));
  page.form().select_role(w("Учитель"));
  page.form().set_login("orlova");
  page.form().set_password("pw");
  page.BitBtn4Click();
  ASSERT_EQ(rows().size(), 1u);
  EXPECT_EQ(rows()[0][user_column::class_name], "");
}

// Who the table holds, what the form asks for, and whether that is a new
// user or a change of row `match`.
struct match_case {
  const char* name;
  user_rows existing;
  user_form_values form;
  std::optional<size_t> match;
};

class AddMatching : public UserPage, public ::testing::WithParamInterface<match_case> {};

TEST_P(AddMatching, AddsNewUsersAndAsksBeforeChangingTheLastMatch) {
  const auto& c = GetParam();
  SCOPED_TRACE(c.name);
  table.replace(c.existing);
  operator_outcome reply = add(c.form);
  if (!c.match) {
    EXPECT_EQ(reply.question, std::nullopt);
    EXPECT_EQ(rows().size(), c.existing.size() + 1);
    return;
  }
  ASSERT_EQ(reply.question, exists_question);
  EXPECT_EQ(*table.snapshot(), c.existing) << "asking changes nothing";

  reply = page.BitBtn4Click(operator_answer::no);
  EXPECT_THAT(reply.messages, IsEmpty());
  EXPECT_EQ(reply.question, std::nullopt);
  EXPECT_EQ(*table.snapshot(), c.existing);
  EXPECT_EQ(page.form().login(), c.form.login) << "No keeps the form filled";

  reply = page.BitBtn4Click(operator_answer::yes);
  EXPECT_EQ(reply.question, std::nullopt);
  ASSERT_EQ(rows().size(), c.existing.size());
  for (size_t i = 0; i < rows().size(); ++i) {
    if (i == *c.match) {
      EXPECT_EQ(rows()[i][user_column::login], c.form.login);
      EXPECT_EQ(rows()[i][user_column::password], c.form.password);
    } else {
      EXPECT_EQ(rows()[i], c.existing[i]) << "row " << i;
    }
  }
  EXPECT_EQ(page.form().login(), "") << "Yes clears the form";
}

// An active user with password "pw" who may read announcements only.
TMassLogIn reader(const char* full_name, const char* class_text, const char* role, const char* login) {
  return row({"1", full_name, class_text, role, login, "pw", "Да", "Нет", "Нет"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddMatching,
    ::testing::Values(
        match_case{"same login, new password",
                   {reader("", "", "Учитель", "a"), reader("Петров", "", "Учитель", "ivanov")},
                   values("ivanov", "new", "", "Учитель"), 1},
        match_case{"pupils of one name in different classes", {reader("Иванов Иван", "5А", "Ученик", "ivan5")},
                   values("ivan6", "pw", "Иванов Иван", "Ученик", 6, "А"), std::nullopt},
        match_case{"pupils of one name in one class", {reader("Иванов Иван", "5А", "Ученик", "ivan5")},
                   values("ivan55", "pw", "Иванов Иван", "Ученик", 5, "А"), 0},
        match_case{"teachers of one name, other logins", {reader("Смирнова Е. А.", "", "Учитель", "smirnova")},
                   values("smirnova2", "pw", "Смирнова Е. А.", "Учитель"), 0},
        match_case{"name matches one row, login a later one",
                   {reader("Кузнецов", "", "Учитель", "kuz"), reader("Другой", "", "Учитель", "other")},
                   values("other", "pw2", "Кузнецов", "Учитель"), 1},
        match_case{"login matches one row, name a later one",
                   {reader("Другой", "", "Учитель", "other"), reader("Кузнецов", "", "Учитель", "kuz")},
                   values("other", "pw2", "Кузнецов", "Учитель"), 1},
        match_case{"logins differ in letter case", {reader("", "", "Учитель", "Ivanov")},
                   values("ivanov", "pw", "", "Учитель"), std::nullopt},
        match_case{"two users without a full name", {reader("", "", "Столовая", "kitchen")},
                   values("kitchen2", "pw", "", "Столовая"), std::nullopt}),
    testing::by_name);

TEST_F(UserPage, WhenTheMatchIsGoneMeanwhileYesAddsAndNoDoesNot) {
  table.replace({row({"1", "", "", "Учитель", "ivanov", "old", "Да", "Нет", "Нет"})});
  ASSERT_EQ(add(values("ivanov", "new", "", "Учитель")).question, exists_question);
  table.replace({});
  page.BitBtn4Click(operator_answer::no);
  EXPECT_THAT(rows(), IsEmpty());
  page.BitBtn4Click(operator_answer::yes);
  ASSERT_EQ(rows().size(), 1u);
  EXPECT_EQ(rows()[0][user_column::password], "new");
}

// ---- loading a row into the form ----------------------------------------

struct class_load_case {
  const char* name;
  const char* role;
  const char* stored;
  std::optional<int> number;
  const char* letter;  // null: none
};

class LoadClass : public UserPage, public ::testing::WithParamInterface<class_load_case> {};

TEST_P(LoadClass, SelectsNumberAndLetterOrNothing) {
  const auto& c = GetParam();
  table.replace({row({"1", "Ребёнок", c.stored, c.role, "kid", "pw", "Да", "Нет", "Нет"})});
  page.sListView11DblClick(0);
  EXPECT_EQ(page.form().full_name(), w("Ребёнок"));
  EXPECT_EQ(page.form().login(), "kid");
  EXPECT_EQ(page.form().class_number(), c.number);
  EXPECT_EQ(page.form().class_letter(), c.letter ? std::optional(w(c.letter)) : std::nullopt);
  EXPECT_EQ(page.form().class_lists_enabled(), std::string(c.role) != "Учитель") << "the role rules have run";
  EXPECT_TRUE(page.form().may_publish_news_enabled());
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadClass,
                         ::testing::Values(class_load_case{"PupilTenYo", "Ученик", "10Ё", 10, "Ё"},
                                           class_load_case{"ParentOneA", "Родитель", "1А", 1, "А"},
                                           class_load_case{"PupilElevenP", "Ученик", "11П", 11, "П"},
                                           class_load_case{"PupilLeadingZero", "Ученик", "05Б", 5, "Б"},
                                           class_load_case{"NumberPastEleven", "Ученик", "12Я", std::nullopt, nullptr},
                                           class_load_case{"NumberZero", "Ученик", "0А", std::nullopt, nullptr},
                                           class_load_case{"NoNumber", "Ученик", "Х", std::nullopt, nullptr},
                                           class_load_case{"LetterNotInTheList", "Ученик", "5Ж", std::nullopt, nullptr},
                                           class_load_case{"LowerCaseLetter", "Ученик", "5а", std::nullopt, nullptr},
                                           class_load_case{"NoLetter", "Ученик", "7", std::nullopt, nullptr},
                                           class_load_case{"Empty", "Ученик", "", std::nullopt, nullptr},
                                           class_load_case{"TeacherHasNoClass", "Учитель", "5А", std::nullopt,
                                                           nullptr}),
                         testing::by_name);

TEST_F(UserPage, LoadedRowConfirmedUnchangedIsWrittenBackAsItWas) {
  user_rows stored = {
      row({"1", "Белова Вера", "10Ё", "Ученик", "belova", "pw1", "Да", "Да", "Нет"}),
      row({"0", "Белов Борис", "3Б", "Родитель", "belov", "pw2", "Нет", "Нет", "Да"}),
      row({"1", "", "", "Диспетчер", "disp", "pw3", "Да", "Нет", "Да"}),
      row({"1", "Зайцев", "", "Заместитель директора", "zam", "pw4", "Да", "Да", "Да"}),
  };
  table.replace(stored);
  for (size_t i = 0; i < stored.size(); ++i) {
    page.sListView11DblClick(i);
    ASSERT_EQ(page.BitBtn4Click().question, exists_question) << i;
    page.BitBtn4Click(operator_answer::yes);
  }
  EXPECT_EQ(rows(), stored);
}

TEST_F(UserPage, RowWithUnknownRoleKeepsTheSelectedRole) {
  table.replace({row({"1", "Кто-то", "", "Сторож", "guard", "pw", "Да", "Нет", "Нет"})});
  page.form().select_role(w("Учитель"));
  page.sListView11DblClick(0);
  EXPECT_EQ(page.form().role(), w("Учитель"));
}

TEST_F(UserPage, DoubleClickPastTheLastRowThrows) {
  EXPECT_THROW(page.sListView11DblClick(0), std::out_of_range);
}

// ---- the list -----------------------------------------------------------

user_rows three_users() {
  return {row({"1", "Волков", "", "Учитель", "volkov", "p", "Да", "Нет", "Нет"}),
          row({"1", "Андреев", "", "Учитель", "andreev", "p", "Да", "Нет", "Нет"}),
          row({"0", "Борисов", "", "Учитель", "borisov", "p", "Да", "Нет", "Нет"})};
}

TEST_F(UserPage, AfterSortingACheckBoxChangesTheUserShownInItsRow) {
  table.replace(three_users());
  page.N8Click();
  ASSERT_EQ(column(user_column::login), (std::vector<std::string>{"andreev", "borisov", "volkov"}));
  page.sListView11Click({true, true, false});
  EXPECT_EQ(column(user_column::active), (std::vector<std::string>{"1", "1", "0"}));
}

TEST_F(UserPage, CheckBoxesOfAnotherListAreRefused) {
  table.replace(three_users());
  EXPECT_THROW(page.sListView11Click({false, false}), std::invalid_argument);
  EXPECT_EQ(*table.snapshot(), three_users());
}

TEST_F(UserPage, SortIsStableAndByCodeUnits) {
  table.replace({row({"1", "Яков", "", "r", "b", "", "", "", ""}), row({"1", "Алёна", "", "r", "B", "", "", "", ""}),
                 row({"1", "Алена", "", "r", "a", "", "", "", ""}), row({"1", "Ёлкин", "", "r", "_", "", "", "", ""}),
                 row({"1", "Аляна", "", "r", "1", "", "", "", ""}), row({"1", "Алена", "", "r", "0", "", "", "", ""})});
  page.SortUser(1);
  EXPECT_EQ(column(user_column::login), (std::vector<std::string>{"0", "1", "B", "_", "a", "b"}));
  page.SortUser(2);
  // Ё U+0401 < А U+0410, and е U+0435 < я U+044F < ё U+0451, whatever
  // the Windows-1251 bytes say; the two "Алена" keep the order they had.
  EXPECT_EQ(column(user_column::full_name),
            (std::vector<std::string>{w("Ёлкин"), w("Алена"), w("Алена"), w("Аляна"), w("Алёна"), w("Яков")}));
  EXPECT_EQ(column(user_column::login), (std::vector<std::string>{"_", "0", "a", "1", "B", "b"}));
  auto sorted = table.snapshot();
  page.SortUser(3);
  EXPECT_EQ(*table.snapshot(), *sorted);
}

TEST_F(UserPage, SortKeepsTheOrderOfEqualKeysInALongList) {
  user_rows shuffled;
  for (int i = 0; i < 60; ++i) {
    shuffled.push_back(row({"1", i % 3 == 0 ? "Б" : "А", "", "r", "", "", "", "", ""}));
    shuffled.back()[user_column::login] = std::to_string(100 + i);
  }
  table.replace(shuffled);
  page.N9Click();
  std::vector<std::string> expected;
  for (const char* name : {"А", "Б"}) {
    for (const auto& r : shuffled) {
      if (r[user_column::full_name] == w(name)) expected.push_back(r[user_column::login]);
    }
  }
  EXPECT_EQ(column(user_column::login), expected);
}

struct all_flags_case {
  const char* name;
  operator_outcome (user_admin_page::*operation)(operator_answer);
  const char* question;
  const char* flag;
};

class AllFlags : public UserPage, public ::testing::WithParamInterface<all_flags_case> {};

TEST_P(AllFlags, AskFirstAndOnNoTellTheOperatorToDecide) {
  const auto& c = GetParam();
  table.replace(three_users());
  operator_outcome reply = (page.*c.operation)(operator_answer::none);
  EXPECT_EQ(reply.question, c.question);
  EXPECT_THAT(reply.messages, IsEmpty());
  reply = (page.*c.operation)(operator_answer::no);
  EXPECT_THAT(reply.messages, ElementsAre("Вы уж определитесь"));
  EXPECT_EQ(*table.snapshot(), three_users());
  reply = (page.*c.operation)(operator_answer::yes);
  EXPECT_THAT(reply.messages, IsEmpty());
  EXPECT_EQ(column(user_column::active), std::vector<std::string>(3, c.flag));
  EXPECT_EQ(column(user_column::login), (std::vector<std::string>{"volkov", "andreev", "borisov"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, AllFlags,
                         ::testing::Values(all_flags_case{"BlockAll", &user_admin_page::P1Click,
                                                          "Заблокировать всех пользователей?", "0"},
                                           all_flags_case{"ActivateAll", &user_admin_page::N4Click,
                                                          "Активировать всех пользователей?", "1"}),
                         testing::by_name);

TEST_F(UserPage, DeleteAsksWithTheFullNameAndOnNoKeepsTheRow) {
  table.replace(three_users());
  operator_outcome reply = page.N3Click(1);
  EXPECT_EQ(reply.question, "Вы действительно хотите удалить \nАндреев");
  reply = page.N3Click(1, operator_answer::no);
  EXPECT_THAT(reply.messages, ElementsAre("Какие вы не решительные"));
  EXPECT_EQ(*table.snapshot(), three_users());
  reply = page.N3Click(1, operator_answer::yes);
  EXPECT_THAT(reply.messages, IsEmpty());
  EXPECT_EQ(column(user_column::login), (std::vector<std::string>{"volkov", "borisov"}));
  EXPECT_THROW(page.N3Click(2, operator_answer::yes), std::out_of_range);
}

// ---- save and reload ----------------------------------------------------

TEST_F(UserPage, DeletingTheOnlyUserSavesAnEmptyFile) {
  dir.write("users.ini", w("Один$1$$Учитель$one$pw$Да$Нет$Нет$\r\n"));
  page.LoadUser("");
  page.N3Click(0, operator_answer::yes);
  EXPECT_THAT(rows(), IsEmpty());
  EXPECT_EQ(page.BitBtn9Click(operating_mode::local), "users.ini");
  EXPECT_EQ(dir.read("users.ini"), "");
}

TEST_F(UserPage, SaveWritesTheFileOfTheModeInTableOrder) {
  data.create_tree();
  dir.write("users.ini", "master$1$$r$m$p$$$$\r\n");
  table.replace(three_users());
  page.SortUser(1);
  EXPECT_EQ(page.BitBtn9Click(operating_mode::remote), "remote\\users.ini");
  EXPECT_EQ(dir.read("users.ini"), "master$1$$r$m$p$$$$\r\n");
  EXPECT_EQ(parse_users(dir.read("remote/users.ini")), *table.snapshot());
  EXPECT_EQ(parse_users(dir.read("remote/users.ini"))[0][user_column::login], "andreev");

  EXPECT_EQ(page.BitBtn9Click(operating_mode::local), "users.ini");
  EXPECT_EQ(dir.read("users.ini"), dir.read("remote/users.ini"));
}

TEST_F(UserPage, FailedSaveThrowsAndKeepsTheTable) {
  dir.write("remote", "a file where the folder should be");
  table.replace(three_users());
  EXPECT_THROW(page.BitBtn9Click(operating_mode::remote), data_file_error);
  EXPECT_EQ(*table.snapshot(), three_users());
}

TEST_F(UserPage, ReloadReplacesTheTableAndEmptiesTheForm) {
  table.replace(three_users());
  page.form().take(values("x", "y", "Имя", "Ученик", 2, "А"));
  dir.write("users.ini", w("Один$1$$Учитель$one$pw$Да$Нет$Нет$\r\n"));
  page.LoadUser("");
  EXPECT_EQ(column(user_column::login), (std::vector<std::string>{"one"}));
  EXPECT_EQ(page.form().login(), "");
  EXPECT_EQ(page.form().full_name(), "");
  EXPECT_EQ(page.form().role(), std::nullopt);
  EXPECT_EQ(page.form().class_text(), "");
}

}  // namespace
}  // namespace velmira
