#include <gtest/gtest.h>

#include <string>

#include "core/greeting.hpp"
#include "core/settings_page.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

class Greeting : public ::testing::Test {
 protected:
  Greeting() {
    page.client_version = "2.0.4";
    page.main_tcp_port = "5000";  // never part of the greeting
    page.data_http_port = "8080";
    page.file_server_port = "8081";
    page.phone = from_utf8("8 (800) 100-20-30 доб. 5");
    page.site = "school.example";
    page.email = "office@school.example";
    page.vk = "vk.com/school";
    page.http_login = "web";
    page.http_password = "secret";
    page.admin_login = "admin";
  }
  settings_page page;
};

TEST_F(Greeting, FirstPartCarriesVersionPortsAndContactsEachTerminated) {
  auto g = build_greeting(page, "", "0");
  EXPECT_EQ(g.soob_connect1, "2.0.4$8080$8081$" + from_utf8("8 (800) 100-20-30 доб. 5") +
                                 "$school.example$office@school.example$vk.com/school$");
}

TEST_F(Greeting, EmptyFieldsKeepTheirTerminators) {
  settings_page empty;
  auto g = build_greeting(empty, "", "");
  EXPECT_EQ(g.soob_connect1, "$$$$$$$");
  EXPECT_EQ(g.soob_connect2, "$$$$");
}

struct calendar_case {
  const char* name;
  bool calendar_on;
  std::string off_flag;
  std::string field;
};

class GreetingCalendarFlag : public Greeting, public ::testing::WithParamInterface<calendar_case> {};

TEST_P(GreetingCalendarFlag, SecondPartEndsWithTheCalendarFlag) {
  page.calendar_on = GetParam().calendar_on;
  auto g = build_greeting(page, from_utf8("Школа"), GetParam().off_flag);
  EXPECT_EQ(g.soob_connect2, "web$secret$D8EAEEEBE0$" + GetParam().field + "$");
}

INSTANTIATE_TEST_SUITE_P(Cases, GreetingCalendarFlag,
                         ::testing::Values(calendar_case{"OnAtStartUp", true, "0", "1"},
                                           calendar_case{"OnAfterLocalMode", true, "", "1"},
                                           // At start-up the flag of a schedule that is off is "0";
                                           // after a switch back to local mode it is empty.
                                           calendar_case{"OffAtStartUp", false, "0", "0"},
                                           calendar_case{"OffAfterLocalMode", false, "", ""}),
                         testing::by_name);

TEST_F(Greeting, EmptyOrganisationGivesAnEmptyField) {
  auto g = build_greeting(page, "", "0");
  EXPECT_EQ(g.soob_connect2, "web$secret$$0$");
}

}  // namespace
}  // namespace velmira
