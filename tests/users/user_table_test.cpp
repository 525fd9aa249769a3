#include "users/user_table.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/text_codec.hpp"

namespace velmira {
namespace {

TMassLogIn user(std::string active, std::string login, std::string password, std::string role_utf8,
                std::string name) {
  return {active, name, "5А", from_utf8(role_utf8), login, password, "1", "0", "0"};
}

// Duplicated logins, inactive rows and role mismatches: the indexed lookup
// must find exactly the row the table-order scan finds.
class UserLookup : public ::testing::Test {
 protected:
  UserLookup() {
    table.replace({
        user("0", "anna", "1", "Учитель", "inactive twin"),
        user("1", "anna", "1", "Ученик", "pupil anna"),
        user("1", "anna", "2", "Учитель", "other password"),
        user("1", "anna", "1", "Учитель", "teacher anna"),
        user("1", "anna", "1", "Учитель", "second teacher anna"),
        user("1", "boris", "", "Родитель", "empty password"),
    });
  }
  user_table table;
};

TEST_F(UserLookup, FindsTheRowThatTheScanFinds) {
  struct probe {
    std::string login, password, role_code;
  };
  const probe probes[] = {
      {"anna", "1", "Uhit"}, {"anna", "1", "Uche"}, {"anna", "2", "Uhit"}, {"anna", "3", "Uhit"},
      {"boris", "", "Rodi"}, {"boris", "x", "Rodi"}, {"nobody", "1", "Uhit"}, {"", "", "Uhit"},
      {"anna", "1", "Disp"}, {"anna", "1", "Xxxx"},
  };
  auto rows = table.snapshot();
  for (const auto& p : probes) {
    SCOPED_TRACE(p.login + "/" + p.password + "/" + p.role_code);
    int index = PoiskUser(*rows, p.login, p.password, p.role_code);
    auto found = table.find(p.login, p.password, p.role_code);
    if (index < 0) {
      EXPECT_EQ(found, nullptr);
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_EQ((*found)[user_column::full_name], (*rows)[static_cast<size_t>(index)][user_column::full_name]);
    }
  }
  EXPECT_EQ((*table.find("anna", "1", "Uhit"))[user_column::full_name], "teacher anna");
}

TEST_F(UserLookup, AFoundRowOutlivesTheReloadThatReplacesIt) {
  auto found = table.find("anna", "1", "Uhit");
  table.replace({});
  ASSERT_NE(found, nullptr);
  EXPECT_EQ((*found)[user_column::full_name], "teacher anna");
  EXPECT_EQ(table.find("anna", "1", "Uhit"), nullptr);
}

}  // namespace
}  // namespace velmira
