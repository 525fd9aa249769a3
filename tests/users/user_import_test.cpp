#include "users/user_import.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "core/fields.hpp"
#include "support/case_name.hpp"
#include "users/user_admin_page.hpp"
#include "users/users_fixture.hpp"

namespace velmira {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::bad_characters;
using testing::row;
using testing::w;

// What one record came to, in UTF-8 for readable failures.
struct outcome_seen {
  size_t line;
  import_outcome outcome;
  std::string message;
  bool operator==(const outcome_seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const outcome_seen& o) {
  return out << "line " << o.line << " outcome " << static_cast<int>(o.outcome) << " '" << o.message << "'";
}

std::vector<outcome_seen> outcomes(const import_report& report) {
  std::vector<outcome_seen> seen;
  for (const auto& u : report.users) seen.push_back({u.line, u.outcome, to_utf8(u.message)});
  return seen;
}

class Import : public ::testing::Test {
 protected:
  user_table table;

  import_report run(const std::string& utf8_csv, const import_options& options = {}) {
    return import_users(table, utf8_csv, options);
  }
  TMassLogIn only_row() {
    auto rows = table.snapshot();
    EXPECT_EQ(rows->size(), 1u);
    return rows->empty() ? TMassLogIn{} : rows->front();
  }
};

// ---- a class list -------------------------------------------------------

// 30 records of class 5А, five of them not to be added, and a blank line
// after pupil 15: pupil n is on line n + 1 before it, n + 2 after it.
std::string class_list() {
  std::string csv = "ФИО;Класс;Роль;Логин;Пароль;Активен;Просмотр объявлений\r\n";
  for (int n = 1; n <= 30; ++n) {
    std::string name = "Учащийся Номер " + std::to_string(n);
    std::string login = "pupil" + std::to_string(n);
    std::string role = "Ученик";
    if (n == 7) login = "пётр";                   // Cyrillic login
    if (n == 12) role = "";                       // no role
    if (n == 18) login = "smirnova";              // the teacher's login
    if (n == 22) name = "Учащийся Номер 3";       // pupil 3 again, another login
    if (n == 27) name = "Учащийся $ 27";          // the users file's terminator
    csv += name + ";5А;" + role + ";" + login + ";pw" + std::to_string(n) + ";да;да\r\n";
    if (n == 15) csv += ";;;;;;\r\n";
  }
  return csv;
}

TEST_F(Import, ClassListAddsTheGoodRowsAndSaysWhyNotForTheOthers) {
  table.replace({row({"1", "Смирнова Е. А.", "", "Учитель", "smirnova", "tpw", "Да", "Да", "Нет"})});
  import_report report = run(class_list());

  ASSERT_EQ(report.error, std::nullopt);
  ASSERT_EQ(report.users.size(), 30u);
  EXPECT_EQ(report.added(), 25u);
  std::vector<outcome_seen> not_added;
  for (const auto& o : outcomes(report)) {
    if (o.outcome != import_outcome::added) not_added.push_back(o);
  }
  EXPECT_THAT(not_added,
              ElementsAre(outcome_seen{8, import_outcome::refused, bad_characters},
                          outcome_seen{13, import_outcome::refused, "Нужно указать роль"},
                          outcome_seen{20, import_outcome::exists, "Такой пользователь уже существует."},
                          outcome_seen{24, import_outcome::exists, "Такой пользователь уже существует."},
                          outcome_seen{29, import_outcome::refused, "ФИО не может содержать знак $"}));
  EXPECT_EQ(report.users[17].row, 0u) << "pupil 18 matches the teacher";
  EXPECT_EQ(report.users[21].row, 3u) << "pupil 22 matches pupil 3, the table's fourth row";

  auto rows = table.snapshot();
  ASSERT_EQ(rows->size(), 26u);
  EXPECT_EQ((*rows)[0], row({"1", "Смирнова Е. А.", "", "Учитель", "smirnova", "tpw", "Да", "Да", "Нет"}));
  EXPECT_EQ((*rows)[1], row({"1", "Учащийся Номер 1", "5А", "Ученик", "pupil1", "pw1", "Да", "Нет", "Нет"}));
  EXPECT_EQ(report.users[0].row, 1u);
  EXPECT_EQ(report.users[0].login, "pupil1");
  EXPECT_EQ(rows->back()[user_column::login], "pupil30");
}

TEST_F(Import, NothingIsAddedWhenEveryRowIsRefused) {
  table.replace({row({"1", "", "", "Учитель", "t", "p", "Да", "Нет", "Нет"})});
  auto before = table.snapshot();
  import_report report = run("Роль;Логин;Пароль\r\nУчитель;t;p\r\n;x;y\r\n");
  EXPECT_EQ(report.added(), 0u);
  EXPECT_EQ(table.snapshot(), before) << "the same table, not a copy of it";
}

// ---- encodings and separators -------------------------------------------

struct encoding_case {
  const char* name;
  bool cp1251, bom;
  char separator;
};

class ImportEncoding : public Import, public ::testing::WithParamInterface<encoding_case> {};

TEST_P(ImportEncoding, GivesTheSameUsers) {
  const auto& c = GetParam();
  std::string csv =
      "Логин;ФИО;Роль;Пароль;Класс;Добавление заметок\r\n"
      "ivanova;Иванова Ёлка;Родитель;p1;9Ё;да\r\n"
      "kuhnya;;Столовая;p2;;нет\r\n";
  if (c.separator == ',') std::replace(csv.begin(), csv.end(), ';', ',');
  if (c.cp1251) csv = from_utf8(csv);
  if (c.bom) csv = "\xEF\xBB\xBF" + csv;
  import_report report = import_users(table, csv);
  ASSERT_EQ(report.error, std::nullopt) << c.name;
  EXPECT_EQ(report.added(), 2u) << c.name;
  EXPECT_THAT(*table.snapshot(),
              ElementsAre(row({"1", "Иванова Ёлка", "9Ё", "Родитель", "ivanova", "p1", "Да", "Нет", "Да"}),
                          row({"1", "", "", "Столовая", "kuhnya", "p2", "Да", "Нет", "Нет"})))
      << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ImportEncoding,
                         ::testing::Values(encoding_case{"Utf8Semicolon", false, false, ';'},
                                           encoding_case{"Utf8Comma", false, false, ','},
                                           encoding_case{"Utf8BomSemicolon", false, true, ';'},
                                           encoding_case{"Utf8BomComma", false, true, ','},
                                           encoding_case{"Windows1251Semicolon", true, false, ';'},
                                           encoding_case{"Windows1251Comma", true, false, ','}),
                         testing::by_name);

TEST_F(Import, QuotedCellsFollowRfc4180) {
  std::string csv =
      "\"ФИО\",\"Роль\",\"Логин\",\"Пароль\"\n"
      "\"Петров, Пётр\",Учитель,petrov,p1\n"
      "\"Сидоров \"\"Сид\"\" Семён\",Учитель,sidorov,p2\n"
      "\"Козлов\r\nКирилл\",Учитель,kozlov,p3\n"
      "\"\",Учитель,\"nobody\",p4\n"
      "Орлов;Олег,Учитель,orlov,p5\n";
  import_report report = run(csv);
  ASSERT_EQ(report.error, std::nullopt);
  ASSERT_EQ(report.added(), 5u);
  std::vector<size_t> lines;
  for (const auto& u : report.users) lines.push_back(u.line);
  EXPECT_EQ(lines, (std::vector<size_t>{2, 3, 4, 6, 7})) << "the quoted line break is inside record 4";
  std::vector<std::string> names;
  for (const auto& r : *table.snapshot()) names.push_back(to_utf8(r[user_column::full_name]));
  EXPECT_EQ(names, (std::vector<std::string>{"Петров, Пётр", "Сидоров \"Сид\" Семён", "Козлов Кирилл", "",
                                             "Орлов;Олег"}));
}

// ---- the whole file refused ---------------------------------------------

struct file_error_case {
  const char* name;
  const char* csv;
  const char* error;
};

class ImportFileError : public Import, public ::testing::WithParamInterface<file_error_case> {};

TEST_P(ImportFileError, RefusesTheWholeFileOnce) {
  table.replace({row({"1", "", "", "Учитель", "t", "p", "Да", "Нет", "Нет"})});
  auto before = table.snapshot();
  import_report report = run(GetParam().csv);
  EXPECT_EQ(report.error, w(GetParam().error));
  EXPECT_THAT(report.users, IsEmpty());
  EXPECT_EQ(table.snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportFileError,
    ::testing::Values(
        file_error_case{"NoLoginColumn", "ФИО;Роль;Пароль\r\nИванов;Учитель;p\r\n",
                        "В заголовке нет обязательных столбцов: Логин"},
        file_error_case{"NoRoleNorPasswordColumn", "Логин,ФИО\r\nivanov,Иванов\r\n",
                        "В заголовке нет обязательных столбцов: Роль, Пароль"},
        file_error_case{"NoHeader", "ivanov;Учитель;p\r\npetrov;Учитель;q\r\n",
                        "В заголовке нет обязательных столбцов: Роль, Логин, Пароль"},
        file_error_case{"LoginTwice", "Роль;Логин;Пароль;логин\r\nУчитель;a;b;c\r\n",
                        "Столбец указан в заголовке дважды: Логин"},
        file_error_case{"UnclosedQuote", "Роль;Логин;Пароль\r\nУчитель;a;b\r\n\"Учитель;c;d\r\nУчитель;e;f\r\n",
                        "Кавычка, открытая в строке 3, не закрыта"},
        file_error_case{"EmptyFile", "", "Файл пуст: нет даже заголовка"},
        file_error_case{"OnlyABom", "\xEF\xBB\xBF", "Файл пуст: нет даже заголовка"}),
    testing::by_name);

// ---- cells --------------------------------------------------------------

// One cell of a pupil's record: what it stores, or the refusal it brings.
struct cell_case {
  const char* name;
  const char* column;
  const char* cell;
  size_t stored_column;
  const char* stored;  // null: the record is refused with `refusal`
  const char* refusal;
};

class ImportCell : public Import, public ::testing::WithParamInterface<cell_case> {};

TEST_P(ImportCell, IsReadOrRefusedWithItsReason) {
  const auto& c = GetParam();
  import_report report =
      run(std::string("ФИО;Роль;Логин;Пароль;") + c.column + "\r\nДитя;Ученик;kid;p;" + c.cell + "\r\n");
  ASSERT_EQ(report.users.size(), 1u);
  if (c.stored) {
    EXPECT_EQ(to_utf8(only_row()[c.stored_column]), c.stored);
    return;
  }
  EXPECT_EQ(report.users[0].outcome, import_outcome::refused);
  EXPECT_EQ(to_utf8(report.users[0].message), c.refusal);
  EXPECT_THAT(*table.snapshot(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(YesNo, ImportCell,
                         ::testing::Values(cell_case{"One", "Активен", "1", user_column::active, "1", nullptr},
                                           cell_case{"Zero", "Активен", "0", user_column::active, "0", nullptr},
                                           cell_case{"Da", "Активен", "да", user_column::active, "1", nullptr},
                                           cell_case{"UpperCaseDa", "Активен", "ДА", user_column::active, "1", nullptr},
                                           cell_case{"Net", "Активен", "Нет", user_column::active, "0", nullptr},
                                           cell_case{"Yes", "Активен", "Yes", user_column::active, "1", nullptr},
                                           cell_case{"UpperCaseNo", "Активен", "NO", user_column::active, "0", nullptr},
                                           cell_case{"True", "Активен", "true", user_column::active, "1", nullptr},
                                           cell_case{"False", "Активен", "False", user_column::active, "0", nullptr},
                                           cell_case{"Plus", "Активен", "+", user_column::active, "1", nullptr},
                                           cell_case{"Empty", "Активен", "", user_column::active, "0", nullptr},
                                           cell_case{"PaddedDa", "Активен", " да ", user_column::active, "1", nullptr},
                                           cell_case{"YesForNotes", "Добавление заметок", "yes",
                                                     user_column::may_publish_notes, "Да", nullptr},
                                           cell_case{"UnknownWord", "Активен", "может", 0, nullptr,
                                                     "Столбец \"Активен\": значение \"может\" не распознано"},
                                           cell_case{"Two", "Активен", "2", 0, nullptr,
                                                     "Столбец \"Активен\": значение \"2\" не распознано"},
                                           cell_case{"MinusForNewsViews", "Просмотр объявлений", "-", 0, nullptr,
                                                     "Столбец \"Просмотр объявлений\": значение \"-\" не распознано"}),
                         testing::by_name);

INSTANTIATE_TEST_SUITE_P(
    Class, ImportCell,
    ::testing::Values(cell_case{"DigitAndLetter", "Класс", "5А", user_column::class_name, "5А", nullptr},
                      cell_case{"LowerCaseLetter", "Класс", "5а", user_column::class_name, "5А", nullptr},
                      cell_case{"SpaceBetween", "Класс", "5 б", user_column::class_name, "5Б", nullptr},
                      cell_case{"MinusBetween", "Класс", "5-В", user_column::class_name, "5В", nullptr},
                      cell_case{"LowerCaseYo", "Класс", "10ё", user_column::class_name, "10Ё", nullptr},
                      cell_case{"NumberAlone", "Класс", "11", user_column::class_name, "11", nullptr},
                      cell_case{"Empty", "Класс", "", user_column::class_name, "", nullptr},
                      cell_case{"NumberPastEleven", "Класс", "12Я", 0, nullptr,
                                "Класс \"12Я\" не распознан: нужен номер от 1 до 11 и буква из списка"},
                      cell_case{"LetterAlone", "Класс", "Х", 0, nullptr,
                                "Класс \"Х\" не распознан: нужен номер от 1 до 11 и буква из списка"},
                      cell_case{"Zero", "Класс", "0", 0, nullptr,
                                "Класс \"0\" не распознан: нужен номер от 1 до 11 и буква из списка"},
                      cell_case{"LetterNotInTheList", "Класс", "5Ж", 0, nullptr,
                                "Класс \"5Ж\" не распознан: нужен номер от 1 до 11 и буква из списка"},
                      cell_case{"LatinLetter", "Класс", "5A", 0, nullptr,
                                "Класс \"5A\" не распознан: нужен номер от 1 до 11 и буква из списка"}),
    testing::by_name);

TEST_F(Import, MissingYesNoColumnsMeanActiveReaderWithoutPublishing) {
  run("Роль;Логин;Пароль;ФИО\r\nУчитель;t;p;Тестов\r\n");
  EXPECT_EQ(only_row(), row({"1", "Тестов", "", "Учитель", "t", "p", "Да", "Нет", "Нет"}));
}

TEST_F(Import, RecordsGoThroughTheRoleRules) {
  run("ФИО;Класс;Роль;Логин;Пароль;Добавление объявлений;Добавление заметок\r\n"
      "Учителева;5А;учитель;t;p;да;да\r\n"
      ";;Диспетчер;d;p;да;нет\r\n"
      ";7Б;Ученик;k;p;да;да\r\n");
  EXPECT_THAT(*table.snapshot(),
              ElementsAre(row({"1", "Учителева", "", "Учитель", "t", "p", "Да", "Да", "Да"}),
                          row({"1", "", "", "Диспетчер", "d", "p", "Да", "Нет", "Да"}),
                          row({"1", "", "", "Ученик", "k", "p", "Да", "Нет", "Нет"})));
}

// ---- generated credentials ----------------------------------------------

TEST_F(Import, EmptyLoginsAndPasswordsAreGeneratedOnlyWhenAsked) {
  const std::string csv = "ФИО;Роль;Логин;Пароль\r\nПервый;Учитель;;\r\nВторой;Учитель;own;\r\n";
  import_report refused = run(csv);
  EXPECT_THAT(outcomes(refused), ElementsAre(outcome_seen{2, import_outcome::refused, bad_characters},
                                             outcome_seen{3, import_outcome::refused, bad_characters}));

  import_report report = run(csv, {true, {}});
  ASSERT_EQ(report.added(), 2u);
  auto rows = table.snapshot();
  EXPECT_EQ((*rows)[1][user_column::login], "own");
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(PoiskBukv((*rows)[i][user_column::login], 1)) << (*rows)[i][user_column::login];
    EXPECT_TRUE(PoiskBukv((*rows)[i][user_column::password], 1)) << (*rows)[i][user_column::password];
    EXPECT_EQ((*rows)[i][user_column::password].size(), 8u);
    EXPECT_EQ(report.users[i].password, (*rows)[i][user_column::password]) << "the report carries it";
  }
}

TEST_F(Import, GeneratedLoginsNeverTakeAnExistingOne) {
  table.replace({row({"1", "", "", "Учитель", "bababa00", "p", "Да", "Нет", "Нет"})});
  import_options always_first{true, [](std::uint32_t) { return 0u; }};
  import_report report =
      run("ФИО;Роль;Логин;Пароль\r\nА;Учитель;;x\r\nБ;Учитель;bababa00_3;y\r\nВ;Учитель;;z\r\n", always_first);
  ASSERT_EQ(report.added(), 3u);
  EXPECT_EQ(report.users[0].login, "bababa00_2");
  EXPECT_EQ(report.users[2].login, "bababa00_4") << "nor one an earlier record brought";
}

// ---- export -------------------------------------------------------------

TEST(Export, WritesUtf8WithSemicolonsAndQuotesWhereNeeded) {
  user_rows rows = {row({"0", "Петров; \"Пётр\"", "5А", "Ученик", "petrov", "pw", "Да", "Нет", "Да"})};
  EXPECT_EQ(export_users_csv(rows),
            "\xEF\xBB\xBF"
            "ФИО;Класс;Роль;Логин;Пароль;Активен;Просмотр объявлений;Добавление объявлений;Добавление заметок\r\n"
            "\"Петров; \"\"Пётр\"\"\";5А;Ученик;petrov;pw;нет;да;нет;да\r\n");
}

struct guard_case {
  const char* name;
  std::string full_name;  // UTF-8
  std::string cell;       // as exported
};
void PrintTo(const guard_case& c, std::ostream* os) { *os << c.name; }

class ExportGuard : public ::testing::TestWithParam<guard_case> {};

// A spreadsheet program runs a cell that begins like a formula; the quote
// makes it text, and import takes it off again.
TEST_P(ExportGuard, QuotesACellASpreadsheetWouldTakeForAFormula) {
  user_rows rows = {row({"1", "", "", "Учитель", "t", "p", "Да", "Да", "Нет"})};
  rows[0][user_column::full_name] = from_utf8(GetParam().full_name);
  const std::string csv = export_users_csv(rows);
  const std::string record = csv.substr(csv.find("\r\n") + 2);
  EXPECT_EQ(record, GetParam().cell + ";;Учитель;t;p;да;да;да;нет\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportGuard,
    ::testing::Values(guard_case{"Equals", "=1+2", "'=1+2"}, guard_case{"Plus", "+7 999", "'+7 999"},
                      guard_case{"Minus", "-5", "'-5"}, guard_case{"At", "@SUM(1+1)", "'@SUM(1+1)"},
                      guard_case{"Tab", "\tx", "'\tx"}, guard_case{"CarriageReturn", "\rx", "\"'\rx\""},
                      guard_case{"Hyperlink", "=HYPERLINK(\"http://example.org\";\"x\")",
                                 "\"'=HYPERLINK(\"\"http://example.org\"\";\"\"x\"\")\""},
                      // A quote of its own is doubled, or import would take it off.
                      guard_case{"LeadingQuote", "'x", "''x"}, guard_case{"Plain", "Иванов", "Иванов"},
                      guard_case{"SignsInside", "a=b-c+d@e", "a=b-c+d@e"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Import, GuardedCellsReadBackAsTheyWere) {
  user_rows rows = {
      row({"1", "=1+2", "", "Учитель", "-login", "pw", "Да", "Нет", "Нет"}),
      row({"1", "@SUM(1+1)", "", "Учитель", "t2", "-p", "Да", "Нет", "Нет"}),
      row({"1", "=HYPERLINK(\"http://example.org\";\"x\")", "", "Учитель", "t3", "p", "Да", "Нет", "Нет"}),
      row({"1", "-5", "", "Учитель", "t4", "p", "Да", "Нет", "Нет"}),
      row({"1", "'=quoted", "", "Учитель", "t5", "p", "Да", "Нет", "Нет"}),
      row({"1", "'plain", "", "Учитель", "t6", "p", "Да", "Нет", "Нет"}),
  };
  import_report report = run(export_users_csv(rows));
  EXPECT_EQ(report.added(), rows.size()) << ::testing::PrintToString(outcomes(report));
  EXPECT_EQ(*table.snapshot(), rows);
}

TEST_F(Import, ExportReadsBackAsTheSameTable) {
  user_rows rows = {
      row({"0", "Петров; \"Пётр\"", "5А", "Ученик", "petrov", "pw", "Да", "Нет", "Да"}),
      row({"1", "Белова, Вера", "11Ё", "Родитель", "belova", "x-1", "Нет", "Да", "Нет"}),
      row({"1", "", "", "Диспетчер", "disp", "d_2", "Да", "Нет", "Да"}),
      row({"1", " Пробелов ", "", "Директор", "dir", "d", "Да", "Да", "Да"}),
  };
  import_report report = run(export_users_csv(rows));
  EXPECT_EQ(report.added(), rows.size());
  rows[3][user_column::full_name] = w("Пробелов");  // cells lose their outer spaces
  EXPECT_EQ(*table.snapshot(), rows);
}

TEST(ImportLarge, EightHundredGeneratedPupilsSaveAndLoadBackIdentically) {
  testing::users_on_disk disk;
  user_table& table = disk.table;
  user_admin_page page{table, disk.file};
  std::string csv = "ФИО,Класс,Роль,Логин,Пароль\n";
  for (int n = 0; n < 800; ++n) {
    csv += "Ученик " + std::to_string(n) + "," + std::to_string(n % 11 + 1) + "А,Ученик,,\n";
  }
  import_report report = import_users(table, csv, {true, {}});
  ASSERT_EQ(report.error, std::nullopt);
  ASSERT_EQ(report.added(), 800u);
  std::set<std::string> logins;
  for (const auto& r : *table.snapshot()) logins.insert(r[user_column::login]);
  EXPECT_EQ(logins.size(), 800u);

  page.BitBtn9Click(operating_mode::local);
  auto imported = table.snapshot();
  page.LoadUser("");
  EXPECT_EQ(*table.snapshot(), *imported);
}

}  // namespace
}  // namespace velmira
