#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/case_name.hpp"
#include "users/roles.hpp"
#include "users/users_fixture.hpp"

namespace velmira {
namespace {

using ::testing::IsEmpty;
using testing::row;

TEST(UsersFile, BlockedTeacherLoadsAndSavesToTheSameLine) {
  auto line = from_utf8("Иванов И. И.$0$$Учитель$ivanov$pw$Да$Да$Нет$\r\n");
  auto rows = parse_users(line);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], row({"0", "Иванов И. И.", "", "Учитель", "ivanov", "pw", "Да", "Да", "Нет"}));
  EXPECT_EQ(format_users(rows), line);
}

struct active_case {
  const char* name;
  const char* field;
  const char* stored;
};

class ActiveFlag : public ::testing::TestWithParam<active_case> {};

TEST_P(ActiveFlag, OnlyExactlyOneIsActive) {
  auto rows = parse_users(std::string("N$") + GetParam().field + "$5A$r$l$p$a$b$c$");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][user_column::active], GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Cases, ActiveFlag,
                         ::testing::Values(active_case{"OneIsActive", "1", "1"}, active_case{"ZeroIsNot", "0", "0"},
                                           active_case{"EmptyIsNot", "", "0"}, active_case{"YesIsNot", "yes", "0"},
                                           active_case{"SpacedOneIsNot", " 1", "0"},
                                           active_case{"ElevenIsNot", "11", "0"}),
                         testing::by_name);

TEST(UsersFile, ReadingStopsAtTheFirstEmptyLine) {
  auto rows = parse_users("A$1$$r$a$p$$$$\r\nB$1$$r$b$p$$$$\r\n\r\nC$1$$r$c$p$$$$\r\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][user_column::login], "b");
}

TEST(UsersFile, ShortLineLeavesTheRestEmpty) {
  auto rows = parse_users("Only Name$1$\r\n");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], row({"1", "Only Name", "", "", "", "", "", "", ""}));
}

TEST(UsersFile, LineWithoutSeparatorAddsNoRowAndReadingGoesOn) {
  auto rows = parse_users("garbage\r\nB$1$$r$b$p$$$$\r\n");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][user_column::full_name], "B");
}

TEST(UsersFile, TextAfterTheLastSeparatorAndSurplusFieldsAreDropped) {
  auto rows = parse_users("N$1$c$r$l$p$a$b$c$ten$eleven$tail");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], row({"1", "N", "c", "r", "l", "p", "a", "b", "c"}));
  EXPECT_EQ(format_users(rows), "N$1$c$r$l$p$a$b$c$\r\n");
}

TEST(UsersFile, LinesEndedByLfOrCrAloneAreLinesToo) {
  EXPECT_EQ(parse_users("A$1$\nB$1$\rC$1$").size(), 3u);
}

class UsersOnDisk : public ::testing::Test, protected testing::users_on_disk {};

TEST_F(UsersOnDisk, MissingFileIsAnEmptyTable) {
  table.replace({row({"1", "x"})});
  file.LoadUser("");
  EXPECT_THAT(*table.snapshot(), IsEmpty());
}

TEST_F(UsersOnDisk, EmptyTableSavesAnEmptyFileAndLoadsBackEmpty) {
  file.SaveUser("");
  EXPECT_EQ(dir.read("users.ini"), "");
  file.LoadUser("");
  EXPECT_THAT(*table.snapshot(), IsEmpty());
}

TEST_F(UsersOnDisk, RemotePrefixUsesTheWorkingCopyOnly) {
  dir.write("users.ini", "Local$1$$r$l$p$$$$\r\n");
  dir.write("remote/users.ini", "Remote$1$$r$m$p$$$$\r\n");
  file.LoadUser("remote\\");
  ASSERT_EQ(table.snapshot()->size(), 1u);
  EXPECT_EQ((*table.snapshot())[0][user_column::full_name], "Remote");
  table.replace({row({"1", "Changed"})});
  file.SaveUser("remote\\");
  EXPECT_EQ(dir.read("remote/users.ini"), "Changed$1$$$$$$$$\r\n");
  EXPECT_EQ(dir.read("users.ini"), "Local$1$$r$l$p$$$$\r\n");
}

TEST_F(UsersOnDisk, TheFileIsCreatedForItsOwnerOnlyAndARewriteKeepsAModeGivenSince) {
  std::filesystem::create_directories(dir.path() / "remote");
  auto mode = [&](const char* relative) { return std::filesystem::status(dir.path() / relative).permissions(); };
  file.SaveUser("");
  file.SaveUser("remote\\");
  EXPECT_EQ(mode("users.ini"), static_cast<std::filesystem::perms>(0600));
  EXPECT_EQ(mode("remote/users.ini"), static_cast<std::filesystem::perms>(0600));
  std::filesystem::permissions(dir.path() / "users.ini", static_cast<std::filesystem::perms>(0640));
  file.SaveUser("");
  EXPECT_EQ(mode("users.ini"), static_cast<std::filesystem::perms>(0640));
}

TEST_F(UsersOnDisk, SnapshotTakenBeforeAReloadStaysWhole) {
  dir.write("users.ini", "A$1$$r$a$p$$$$\r\nB$1$$r$b$p$$$$\r\n");
  file.LoadUser("");
  auto before = table.snapshot();
  dir.write("users.ini", "C$1$$r$c$p$$$$\r\n");
  file.LoadUser("");
  EXPECT_EQ(before->size(), 2u);
  EXPECT_EQ(table.snapshot()->size(), 1u);
}

TEST(PoiskUser, FindsTheFirstActiveExactMatch) {
  user_rows rows = {
      row({"0", "Old", "", "Директор", "boss", "pw", "", "", ""}),
      row({"1", "New", "", "Директор", "boss", "pw", "", "", ""}),
      row({"1", "T", "", "Учитель", "teach", "pw", "", "", ""}),
  };
  EXPECT_EQ(PoiskUser(rows, "boss", "pw", "Dire"), 1);
  EXPECT_EQ(PoiskUser(rows, "teach", "pw", "Uhit"), 2);
  EXPECT_EQ(PoiskUser(rows, "teach", "pw", "Uche"), -1);
  EXPECT_EQ(PoiskUser(rows, "Teach", "pw", "Uhit"), -1);
  EXPECT_EQ(PoiskUser(rows, "teach", "PW", "Uhit"), -1);
  EXPECT_EQ(PoiskUser(rows, "teach", "pw", "Zvon"), -1);
  EXPECT_EQ(PoiskUser({}, "teach", "pw", "Uhit"), -1);
}

TEST(Roles, EveryCodeNamesItsRole) {
  EXPECT_EQ(roles::name_for_code("Dire"), from_utf8("Директор"));
  EXPECT_EQ(roles::name_for_code("Zame"), from_utf8("Заместитель директора"));
  EXPECT_EQ(roles::name_for_code("Uhit"), from_utf8("Учитель"));
  EXPECT_EQ(roles::name_for_code("Disp"), from_utf8("Диспетчер"));
  EXPECT_EQ(roles::name_for_code("Stol"), from_utf8("Столовая"));
  EXPECT_EQ(roles::name_for_code("Uche"), from_utf8("Ученик"));
  EXPECT_EQ(roles::name_for_code("Rodi"), from_utf8("Родитель"));
  EXPECT_EQ(roles::name_for_code("Admi"), "");
  EXPECT_EQ(roles::name_for_code("dire"), "");
}

}  // namespace
}  // namespace velmira
