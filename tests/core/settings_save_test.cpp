#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/settings_page.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

struct save_check_case {
  std::string name;
  std::function<void(settings_page&)> edit;
  std::optional<save_refusal> refusal;
};

void PrintTo(const save_check_case& c, std::ostream* os) { *os << c.name; }

// A page a local server could save: every field of both groups filled.
void fill(settings_page& page) {
  page.file_server_port = "7003";
  page.main_tcp_port = "7001";
  page.data_http_port = "7002";
  page.http_login = "web";
  page.http_password = "secret";
  page.admin_login = "admin";
  page.admin_password = "admin-pw";
  page.master_address = "192.168.0.10";
}

class SaveChecks : public ::testing::TestWithParam<save_check_case> {};

TEST_P(SaveChecks, RefuseWhatTheSelectedModeNeeds) {
  settings_page page;
  fill(page);
  GetParam().edit(page);
  EXPECT_EQ(settings_save_refusal(page), GetParam().refusal);
}

auto remote = [](settings_page& p) { p.selected_mode = operating_mode::remote; };

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveChecks,
    ::testing::Values(
        save_check_case{"LocalFilled", [](settings_page&) {}, std::nullopt},
        save_check_case{"PortWithALetter", [](settings_page& p) { p.main_tcp_port = "70a1"; }, save_refusal::ports},
        save_check_case{"EmptyFileServerPort", [](settings_page& p) { p.file_server_port = ""; }, save_refusal::ports},
        save_check_case{"EmptyHttpPassword", [](settings_page& p) { p.http_password = ""; }, save_refusal::ports},
        save_check_case{"HttpLoginWithASpace", [](settings_page& p) { p.http_login = "we b"; }, save_refusal::ports},
        save_check_case{"LocalIgnoresTheRemoteGroup", [](settings_page& p) { p.master_address = ""; }, std::nullopt},
        save_check_case{"RemoteFilled", remote, std::nullopt},
        save_check_case{"RemoteWithoutMasterAddress",
                        [](settings_page& p) {
                          remote(p);
                          p.master_address = "";
                        },
                        save_refusal::remote_administration},
        save_check_case{"RemoteAdminPasswordWithCyrillic",
                        [](settings_page& p) {
                          remote(p);
                          p.admin_password = "\xEF\xE0\xF0\xEE\xEB\xFC";
                        },
                        save_refusal::remote_administration},
        save_check_case{"RemoteWithABadPortIsARemoteRefusal",
                        [](settings_page& p) {
                          remote(p);
                          p.data_http_port = "";
                        },
                        save_refusal::remote_administration},
        save_check_case{"MainPortAbove65535", [](settings_page& p) { p.main_tcp_port = "99999"; },
                        save_refusal::port_out_of_range},
        save_check_case{"FileServerPortAbove65535", [](settings_page& p) { p.file_server_port = "65536"; },
                        save_refusal::port_out_of_range},
        save_check_case{"HttpPortOfTwentyDigits", [](settings_page& p) { p.data_http_port = std::string(20, '9'); },
                        save_refusal::port_out_of_range},
        save_check_case{"HighestPort", [](settings_page& p) { p.main_tcp_port = "65535"; }, std::nullopt},
        save_check_case{"LeadingZeros", [](settings_page& p) { p.main_tcp_port = "0000000000007001"; }, std::nullopt},
        save_check_case{"MainPortIsTheHttpPort", [](settings_page& p) { p.main_tcp_port = "7002"; },
                        save_refusal::same_ports},
        save_check_case{"MainPortIsTheHttpPortWithALeadingZero", [](settings_page& p) { p.main_tcp_port = "07002"; },
                        save_refusal::same_ports},
        save_check_case{"FileServerPortMayBeTheHttpPort", [](settings_page& p) { p.file_server_port = "7002"; },
                        std::nullopt},
        // Saved as before; the start of the listeners refuses a zero port.
        save_check_case{"ZeroPorts",
                        [](settings_page& p) {
                          p.main_tcp_port = "0";
                          p.data_http_port = "00";
                        },
                        std::nullopt},
        save_check_case{"TheCharacterRuleComesFirst",
                        [](settings_page& p) {
                          p.main_tcp_port = "99999";
                          p.http_login = "";
                        },
                        save_refusal::ports},
        save_check_case{"RemoteWithAPortAbove65535",
                        [](settings_page& p) {
                          remote(p);
                          p.main_tcp_port = "70000";
                        },
                        save_refusal::port_out_of_range},
        save_check_case{"NothingCheckedWhileAMastersCopyIsShown",
                        [](settings_page& p) {
                          remote(p);
                          p.SetElVisible(false);
                          p.main_tcp_port = "";
                          p.master_address = "";
                        },
                        std::nullopt}),
    testing::by_name);

}  // namespace
}  // namespace velmira
