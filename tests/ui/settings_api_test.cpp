#include "ui/settings_api.hpp"

#include <gtest/gtest.h>

#include "core/text_codec.hpp"

namespace velmira {
namespace {

using json = nlohmann::json;

TEST(SettingsApi, FieldsGoInAndComeOutAsTheControlsHoldThem) {
  settings_page page;
  apply_settings(page, {{"main_tcp_port", "7101"},
                        {"phone", "+7 (495) 000"},
                        {"site", "школа.рф"},
                        {"http_login", "web"},
                        {"log_games", true},
                        {"log_news_views", false},
                        {"autostart", true},
                        {"mode", "remote"},
                        {"master_address", "10.0.0.2"}});
  EXPECT_EQ(page.main_tcp_port, "7101");
  EXPECT_EQ(page.site, from_utf8("школа.рф"));
  EXPECT_TRUE(page.log.on(log_category::game_creation));
  EXPECT_EQ(page.selected_mode, operating_mode::remote);

  auto out = settings_json(page);
  EXPECT_EQ(out["site"], "школа.рф");
  EXPECT_EQ(out["phone"], "+7 (495) 000");
  EXPECT_EQ(out["log_games"], true);
  EXPECT_EQ(out["autostart"], true);
  EXPECT_EQ(out["mode"], "remote");
  EXPECT_EQ(out["local_only_visible"], true);
  // Fields left out keep their values.
  apply_settings(page, {{"vk", "vk.com/x"}});
  EXPECT_EQ(page.main_tcp_port, "7101");
}

TEST(SettingsApi, PurgeSwitchesBehaveAsTheirCheckBoxes) {
  settings_page page;
  apply_settings(page, {{"purge_news", true}});
  auto out = settings_json(page);
  EXPECT_EQ(out["purge_news_age"], 0);  // one month
  EXPECT_EQ(out["purge_news_unit"], "месяца");
  EXPECT_EQ(out["purge_news_list_enabled"], true);
  EXPECT_EQ(out["purge_news_ages"], 6);

  apply_settings(page, {{"purge_news_age", 3}});
  EXPECT_EQ(settings_json(page)["purge_news_unit"], "месяцев");
  apply_settings(page, {{"purge_menus", true}, {"purge_menus_age", 11}});
  EXPECT_EQ(page.purge_menus.age_index, 11);

  apply_settings(page, {{"purge_news", false}, {"purge_news_age", 2}});
  out = settings_json(page);
  EXPECT_EQ(out["purge_news"], false);
  EXPECT_EQ(out["purge_news_age"], -1);
  EXPECT_EQ(out["purge_news_list_enabled"], false);
}

TEST(SettingsApi, TheCalendarSwitchEnablesItsEditor) {
  settings_page page;
  apply_settings(page, {{"calendar_on", true}});
  EXPECT_TRUE(page.calendar_editor_enabled);
  apply_settings(page, {{"calendar_on", false}});
  EXPECT_FALSE(page.calendar_editor_enabled);
}

TEST(SettingsApi, AMastersCopyKeepsItsLocalFieldsOutOfSight) {
  settings_page page;
  page.main_tcp_port = "7001";
  page.admin_password = "secret";
  page.SetElVisible(false);
  auto out = settings_json(page);
  for (const char* hidden : {"main_tcp_port", "data_http_port", "file_server_port", "http_login", "http_password",
                             "hide_at_startup", "autostart", "allow_remote_admin", "admin_login", "admin_password",
                             "master_address"}) {
    EXPECT_FALSE(out.contains(hidden)) << hidden;
  }
  EXPECT_TRUE(out.contains("mode"));
  EXPECT_TRUE(out.contains("phone"));
  apply_settings(page, {{"main_tcp_port", "1"}, {"admin_password", "x"}, {"phone", "2"}});
  EXPECT_EQ(page.main_tcp_port, "7001");
  EXPECT_EQ(page.admin_password, "secret");
  EXPECT_EQ(page.phone, "2");
}

TEST(SettingsApi, WrongTypesAndUnknownModesAreRefused) {
  settings_page page;
  EXPECT_THROW(apply_settings(page, {{"phone", 5}}), json::exception);
  EXPECT_THROW(apply_settings(page, {{"log_games", "yes"}}), json::exception);
  EXPECT_THROW(apply_settings(page, {{"mode", "elsewhere"}}), json::exception);
}

}  // namespace
}  // namespace velmira
