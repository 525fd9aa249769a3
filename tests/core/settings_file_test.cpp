#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/autostart.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/operator_error.hpp"
#include "core/settings_file.hpp"
#include "core/settings_page.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;
using lines_t = std::vector<std::string>;

// A local server's file with every kind of value set, in canonical form.
lines_t local_file() {
  return {
      from_utf8("2.0.4 бета"),  // 1
      "5000",                   // 2
      "8080",                   // 3
      "8081",                   // 4
      from_utf8("8 (812) 123-45-67"),
      "school.example",
      "office@school.example",
      "vk.com/school",  // 8
      "web",            // 9
      "secret",         // 10
      "1", "0", "1", "1", "0", "0", "1", "0", "1", "0", "1",  // 11-21
      "1",      // 22
      "1",      // 23
      "1;3;",   // 24
      "1;0;",   // 25
      "1;11;",  // 26
      "0",      // 27
      "1",      // 28
      "1",      // 29
      "1",      // 30
      "admin",  // 31
      "admin-pass",
      "192.168.0.10",  // 33
  };
}

// A master's file whose every value differs from the local one.
lines_t master_file() {
  return {
      "3.1",  "6000", "9080", "9081", "111-222", "master.example", "m@master.example", "vk.com/m",
      "mweb", "mpass",
      "0", "1", "0", "0", "1", "1", "0", "1", "0", "1", "0",  // 11-21
      "0",      // 22
      "0",      // 23
      "1;5;",   // 24
      "0;-1;",  // 25
      "1;2;",   // 26
      "1",      // 27
      "0",      // 28
      "1",      // 29
      "0",      // 30
      "madmin", "mapass", "10.0.0.1",
  };
}

class SettingsFile : public ::testing::Test {
 protected:
  SettingsFile() { data.create_tree(); }

  void write(const std::string& relative, const lines_t& lines) { dir.write(relative, join_lines(lines)); }
  lines_t saved(const std::string& relative) { return split_lines(dir.read(relative)); }
  static lines_t with_line(lines_t lines, int number, std::string value) {
    lines.at(static_cast<size_t>(number - 1)) = std::move(value);
    return lines;
  }

  std::vector<std::string> autostart_folder_entries() const {
    std::vector<std::string> names;
    if (!fs::exists(autostart_folder)) return names;
    for (const auto& e : fs::directory_iterator(autostart_folder)) names.push_back(e.path().filename().string());
    return names;
  }

  testing::temp_dir dir;
  fs::path autostart_folder = dir.path() / "autostart-folder";
  data_directory data{dir.path()};
  settings_page page;
  server_page server;
  autostart_entry autostart{dir.path(), dir.path() / "velmira", autostart_folder, {}};
  std::vector<fs::path> calendar_loads;
  int calendar_clears = 0;
  settings_file settings{data, page, server, autostart,
                         calendar_editor_hooks{[this](const fs::path& rtf) { calendar_loads.push_back(rtf); },
                                               [this] { ++calendar_clears; }}};
};

TEST_F(SettingsFile, LoadFillsThePageFromEveryLine) {
  dir.write("kalendgraf.rtf", "{\\rtf1}");
  write("setting.ini", local_file());
  settings.SetLoad("");

  EXPECT_EQ(page.client_version, from_utf8("2.0.4 бета"));
  EXPECT_EQ(page.main_tcp_port, "5000");
  EXPECT_EQ(page.data_http_port, "8080");
  EXPECT_EQ(page.file_server_port, "8081");
  EXPECT_EQ(page.phone, from_utf8("8 (812) 123-45-67"));
  EXPECT_EQ(page.site, "school.example");
  EXPECT_EQ(page.email, "office@school.example");
  EXPECT_EQ(page.vk, "vk.com/school");
  EXPECT_EQ(page.http_login, "web");
  EXPECT_EQ(page.http_password, "secret");
  EXPECT_TRUE(page.log.on(log_category::news_changes));
  EXPECT_FALSE(page.log.on(log_category::notes_changes));
  EXPECT_TRUE(page.log.on(log_category::game_creation));
  EXPECT_FALSE(page.log.on(log_category::news_views));
  EXPECT_TRUE(page.log.on(log_category::menu_views));
  EXPECT_TRUE(page.hide_at_startup);
  EXPECT_TRUE(page.purge_notes);
  EXPECT_EQ(page.purge_news.age_index, 3);
  EXPECT_EQ(page.purge_timetables.age_index, 11);
  EXPECT_FALSE(page.autostart);
  EXPECT_TRUE(page.calendar_on);
  EXPECT_EQ(page.selected_mode, operating_mode::local);
  EXPECT_TRUE(page.allow_remote_admin);
  EXPECT_EQ(page.admin_login, "admin");
  EXPECT_EQ(page.admin_password, "admin-pass");
  EXPECT_EQ(page.master_address, "192.168.0.10");
  EXPECT_EQ(settings.port_HTTP, "8080");
  EXPECT_EQ(settings.login_HTTP, "web");
  EXPECT_EQ(settings.pas_HTTP, "secret");
}

TEST_F(SettingsFile, EachLogSwitchLineDrivesItsOwnCategory) {
  for (int line = first_log_switch_line; line < first_log_switch_line + log_switch_count; ++line) {
    lines_t lines = local_file();
    for (int i = first_log_switch_line; i < first_log_switch_line + log_switch_count; ++i) {
      lines[static_cast<size_t>(i - 1)] = i == line ? "1" : "0";
    }
    write("setting.ini", lines);
    settings.SetLoad("");
    for (int i = first_log_switch_line; i < first_log_switch_line + log_switch_count; ++i) {
      EXPECT_EQ(page.log.on(static_cast<log_category>(i)), i == line) << "file line " << line << ", switch " << i;
    }
  }
}

TEST_F(SettingsFile, ShortFileReadsMissingLinesAsEmpty) {
  dir.write("kalendgraf.rtf", "{\\rtf1}");
  write("setting.ini", local_file());
  settings.SetLoad("");
  // Five lines only: everything from the HTTP login on is absent.
  lines_t first_five = local_file();
  first_five.resize(5);
  write("setting.ini", first_five);
  settings.SetLoad("");

  EXPECT_EQ(page.file_server_port, "8081");
  EXPECT_EQ(page.site, "");
  EXPECT_EQ(page.http_login, "");
  EXPECT_EQ(page.http_password, "");
  EXPECT_EQ(settings.login_HTTP, "");
  for (int i = first_log_switch_line; i < first_log_switch_line + log_switch_count; ++i) {
    EXPECT_FALSE(page.log.on(static_cast<log_category>(i))) << "switch " << i;
  }
  EXPECT_FALSE(page.hide_at_startup);
  EXPECT_FALSE(page.purge_notes);
  for (const purge_selector* p : {&page.purge_news, &page.purge_menus, &page.purge_timetables}) {
    EXPECT_FALSE(p->on);
    EXPECT_EQ(p->age_index, -1);
    EXPECT_FALSE(p->list_enabled);
  }
  EXPECT_FALSE(page.autostart);
  EXPECT_FALSE(page.calendar_on);
  EXPECT_FALSE(page.allow_remote_admin);
  EXPECT_EQ(page.master_address, "");
  EXPECT_EQ(page.selected_mode, operating_mode::local);
  EXPECT_EQ(server.mode_caption, "Режим: Локальный сервер");
  EXPECT_TRUE(page.local_only_visible);
}

TEST_F(SettingsFile, OnlyOneIsAnOnSwitch) {
  lines_t lines = local_file();
  lines[10] = "true";           // 11
  lines[21] = from_utf8("Да");  // 22
  lines[22] = "1 ";             // 23
  lines[26] = "2";              // 27
  lines[29] = "01";             // 30
  write("setting.ini", lines);
  settings.SetLoad("");
  EXPECT_FALSE(page.hide_at_startup);
  EXPECT_FALSE(page.purge_notes);
  EXPECT_FALSE(page.autostart);
  EXPECT_FALSE(page.allow_remote_admin);
  EXPECT_FALSE(page.log.on(log_category::news_changes));
}

TEST_F(SettingsFile, MissingFileThrows) {
  EXPECT_THROW(settings.SetLoad(""), data_file_error);
  EXPECT_THROW(settings.SetLoad("remote\\"), data_file_error);
}

struct purge_case {
  const char* name;
  std::string line;
  bool on;
  int index;
  bool enabled;
  std::string label;  // checked only when the switch is on
};

class MenuPurgeLine : public SettingsFile, public ::testing::WithParamInterface<purge_case> {};

TEST_P(MenuPurgeLine, SelectsTheAgeAndItsUnit) {
  write("setting.ini", with_line(local_file(), 25, GetParam().line));
  settings.SetLoad("");
  EXPECT_EQ(page.purge_menus.on, GetParam().on);
  EXPECT_EQ(page.purge_menus.age_index, GetParam().index);
  EXPECT_EQ(page.purge_menus.list_enabled, GetParam().enabled);
  if (GetParam().on) {
    EXPECT_EQ(page.purge_menus.unit_label, GetParam().label);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuPurgeLine,
    ::testing::Values(purge_case{"OnAtIndexTwo", "1;2;", true, 2, true, "месяцев"},
                      purge_case{"OnAtIndexZero", "1;0;", true, 0, true, "месяца"},
                      purge_case{"OnAtTheLastIndex", "1;11;", true, 11, true, "месяцев"},
                      purge_case{"Off", "0;-1;", false, -1, false, ""},
                      // An off switch ignores whatever index follows it.
                      purge_case{"OffWithAnIndex", "0;4;", false, -1, false, ""},
                      purge_case{"EmptyLine", "", false, -1, false, ""},
                      purge_case{"UnknownSwitch", "2;1;", false, -1, false, ""}),
    testing::by_name);

struct notes_case {
  const char* name;
  int purge_line;
  std::string value;
  bool notes_after_load;
};

class PurgeLineAndNotesSwitch : public SettingsFile, public ::testing::WithParamInterface<notes_case> {};

TEST_P(PurgeLineAndNotesSwitch, OnlyAnOffAnnouncementsPurgeClearsTheNotesSwitch) {
  lines_t lines = with_line(local_file(), 23, "1");
  write("setting.ini", with_line(lines, GetParam().purge_line, GetParam().value));
  settings.SetLoad("");
  EXPECT_EQ(page.purge_notes, GetParam().notes_after_load);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PurgeLineAndNotesSwitch,
    ::testing::Values(notes_case{"NewsPurgeOff", 24, "0;-1;", false}, notes_case{"NewsPurgeEmpty", 24, "", false},
                      notes_case{"NewsPurgeOn", 24, "1;0;", true}, notes_case{"MenuPurgeOff", 25, "0;-1;", true},
                      notes_case{"TimetablePurgeOff", 26, "0;-1;", true}),
    testing::by_name);

class BadPurgeIndex : public SettingsFile, public ::testing::WithParamInterface<std::string> {};

TEST_P(BadPurgeIndex, StopsTheLoadAtThatLine) {
  lines_t lines = local_file();
  lines[22] = "1";             // 23, before the faulty line
  lines[23] = GetParam();      // 24
  lines[24] = "1;2;";          // 25
  lines[30] = "late-admin";    // 31
  write("setting.ini", lines);
  page.admin_login = "earlier";
  page.purge_notes = false;
  EXPECT_THROW(settings.SetLoad(""), operator_error);
  EXPECT_TRUE(page.purge_notes);
  EXPECT_FALSE(page.purge_menus.on);
  EXPECT_EQ(page.admin_login, "earlier");
  EXPECT_EQ(server.mode_caption, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, BadPurgeIndex,
                         ::testing::Values("1;x;", "1;;", "1;2.5;", "1;3a;", "1;"),
                         testing::by_text);

TEST_F(SettingsFile, FullFileRoundTripsByteForByte) {
  dir.write("kalendgraf.rtf", "{\\rtf1}");
  write("setting.ini", local_file());
  std::string original = dir.read("setting.ini");
  settings.SetLoad("");
  settings.SetSave("");
  EXPECT_EQ(dir.read("setting.ini"), original);
}

TEST_F(SettingsFile, SavedPurgeThatIsOffHasNoIndex) {
  write("setting.ini", with_line(local_file(), 25, "0;4;"));
  settings.SetLoad("");
  page.purge_timetables.untick();
  // A switch turned off with an age still chosen is saved without it.
  page.purge_news.on = false;
  settings.SetSave("");
  lines_t lines = saved("setting.ini");
  ASSERT_EQ(lines.size(), static_cast<size_t>(settings_line_count));
  EXPECT_EQ(lines[23], "0;-1;");
  EXPECT_EQ(lines[24], "0;-1;");
  EXPECT_EQ(lines[25], "0;-1;");
}

TEST_F(SettingsFile, SaveWritesTheFileAnewFromThePage) {
  write("setting.ini", lines_t(40, "stale"));
  page.main_tcp_port = "7000";
  page.log.set(log_category::bell_list_views, true);
  page.purge_news.tick();
  page.calendar_on = true;
  settings.SetSave("");
  lines_t lines = saved("setting.ini");
  ASSERT_EQ(lines.size(), static_cast<size_t>(settings_line_count));
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "7000");
  EXPECT_EQ(lines[14], "1");
  EXPECT_EQ(lines[15], "0");
  EXPECT_EQ(lines[23], "1;0;");
  EXPECT_EQ(lines[27], "1");
  EXPECT_EQ(lines[28], "1");
  EXPECT_EQ(dir.read("setting.ini").substr(0, 8), "\r\n7000\r\n");
}

TEST_F(SettingsFile, TheFileIsCreatedForItsOwnerOnlyAndARewriteKeepsAModeGivenSince) {
  auto mode = [&](const char* relative) { return fs::status(dir.path() / relative).permissions(); };
  settings.SetSave("");
  settings.SetSave("remote\\");
  EXPECT_EQ(mode("setting.ini"), static_cast<fs::perms>(0600));
  EXPECT_EQ(mode("remote/setting.ini"), static_cast<fs::perms>(0600));
  fs::permissions(dir.path() / "setting.ini", static_cast<fs::perms>(0644));
  settings.SetSave("");
  EXPECT_EQ(mode("setting.ini"), static_cast<fs::perms>(0644));
}

struct mode_case {
  const char* name;
  std::string line;
  operating_mode mode;
  std::string saved;
};

class ModeLine : public SettingsFile, public ::testing::WithParamInterface<mode_case> {};

TEST_P(ModeLine, SelectsTheModeAndItsDisplay) {
  write("setting.ini", with_line(local_file(), 29, GetParam().line));
  settings.SetLoad("");
  bool local = GetParam().mode == operating_mode::local;
  EXPECT_EQ(page.selected_mode, GetParam().mode);
  EXPECT_EQ(server.mode_caption, local ? "Режим: Локальный сервер" : "Режим: Удаленный доступ");
  EXPECT_EQ(server.start_stop_visible, local);
  EXPECT_EQ(server.game_counter_visible, local);
  EXPECT_EQ(server.request_data_visible, !local);
  EXPECT_EQ(page.local_only_visible, local);

  settings.SetSave("");
  EXPECT_EQ(saved("setting.ini").at(28), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(Cases, ModeLine,
                         ::testing::Values(mode_case{"LocalByOne", "1", operating_mode::local, "1"},
                                           mode_case{"LocalWhenEmpty", "", operating_mode::local, "1"},
                                           mode_case{"RemoteByZero", "0", operating_mode::remote, "0"},
                                           mode_case{"RemoteByAnyOther", "x", operating_mode::remote, "0"}),
                         testing::by_name);

TEST_F(SettingsFile, MasterCopyKeepsItsHiddenValuesApartAndWritesThemBack) {
  // Autostart is on locally, so a save of the master's copy that wrongly
  // took the local path would install an entry.
  write("setting.ini", with_line(local_file(), 27, "1"));
  settings.SetLoad("");
  write("remote/setting.ini", master_file());
  std::string master_bytes = dir.read("remote/setting.ini");
  settings.SetLoad("remote\\");

  EXPECT_EQ(settings.mas_set, (std::array<std::string, 12>{"6000", "9080", "9081", "mweb", "mpass", "0", "1",
                                                           "1", "0", "madmin", "mapass", "10.0.0.1"}));
  // The page shows the master's own values, but keeps the local ones in the hidden fields.
  EXPECT_EQ(page.client_version, "3.1");
  EXPECT_EQ(page.site, "master.example");
  EXPECT_FALSE(page.log.on(log_category::news_changes));
  EXPECT_TRUE(page.log.on(log_category::notes_changes));
  EXPECT_EQ(page.purge_news.age_index, 5);
  EXPECT_FALSE(page.purge_menus.on);
  EXPECT_EQ(page.main_tcp_port, "5000");
  EXPECT_EQ(page.data_http_port, "8080");
  EXPECT_EQ(page.http_login, "web");
  EXPECT_TRUE(page.hide_at_startup);
  EXPECT_TRUE(page.autostart);
  EXPECT_TRUE(page.allow_remote_admin);
  EXPECT_EQ(page.admin_login, "admin");
  EXPECT_EQ(page.master_address, "192.168.0.10");
  // Only the local file sets the credentials used towards the master.
  EXPECT_EQ(settings.port_HTTP, "8080");
  EXPECT_EQ(settings.login_HTTP, "web");
  EXPECT_EQ(settings.pas_HTTP, "secret");
  EXPECT_EQ(server.mode_caption, "Режим: Удаленный доступ");
  EXPECT_FALSE(page.local_only_visible);

  settings.SetSave("remote\\");
  EXPECT_EQ(dir.read("remote/setting.ini"), master_bytes);
  // Neither the autostart entry nor the mode display belongs to the master's copy.
  EXPECT_TRUE(autostart_folder_entries().empty());
  EXPECT_FALSE(dir.exists("velmira.desktop"));
  EXPECT_EQ(server.mode_caption, "Режим: Удаленный доступ");
  EXPECT_EQ(split_lines(dir.read("setting.ini")), with_line(local_file(), 27, "1"));
}

TEST_F(SettingsFile, MasterCopyEditsOfShownValuesAreSaved) {
  write("remote/setting.ini", master_file());
  settings.SetLoad("remote\\");
  page.site = "edited.example";
  page.main_tcp_port = "1";  // a hidden field: the master's value wins
  page.purge_menus.tick();
  settings.SetSave("remote\\");
  lines_t expected = with_line(with_line(master_file(), 6, "edited.example"), 25, "1;0;");
  EXPECT_EQ(saved("remote/setting.ini"), expected);
}

struct calendar_case {
  const char* name;
  std::string dop;
  std::string line;
  bool rtf_present;
  bool on;
  bool loaded;
};

class CalendarLine : public SettingsFile, public ::testing::WithParamInterface<calendar_case> {};

TEST_P(CalendarLine, NeedsTheSwitchAndTheFileAndLoadsOnlyTheLocalOne) {
  const auto& c = GetParam();
  std::string folder = c.dop.empty() ? "" : "remote/";
  if (c.rtf_present) dir.write(folder + "kalendgraf.rtf", "{\\rtf1}");
  write(folder + "setting.ini", with_line(local_file(), 28, c.line));
  page.calendar_on = !c.on;
  page.calendar_editor_enabled = !c.on;
  settings.SetLoad(c.dop);
  EXPECT_EQ(page.calendar_on, c.on);
  EXPECT_EQ(page.calendar_editor_enabled, c.on);
  if (c.loaded) {
    EXPECT_EQ(calendar_loads, (std::vector<fs::path>{dir.path() / "kalendgraf.rtf"}));
  } else {
    EXPECT_TRUE(calendar_loads.empty());
  }
  EXPECT_EQ(calendar_clears, c.on ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, CalendarLine,
                         ::testing::Values(calendar_case{"OnWithTheFile", "", "1", true, true, true},
                                           calendar_case{"OnWithoutTheFile", "", "1", false, false, false},
                                           calendar_case{"OffWithTheFile", "", "0", true, false, false},
                                           calendar_case{"MasterCopyOnWithTheFile", "remote\\", "1", true, true, false},
                                           calendar_case{"MasterCopyOnWithoutTheFile", "remote\\", "1", false, false,
                                                         false}),
                         testing::by_name);

TEST_F(SettingsFile, CalendarOfTheMasterCopyIsLookedForInItsFolder) {
  // A local calendar file does not count for the master's copy.
  dir.write("kalendgraf.rtf", "{\\rtf1}");
  write("remote/setting.ini", with_line(master_file(), 28, "1"));
  settings.SetLoad("remote\\");
  EXPECT_FALSE(page.calendar_on);
}

TEST_F(SettingsFile, AutostartOnKeepsOneInstalledEntryAndRewritesTheKeptOne) {
  write("setting.ini", with_line(local_file(), 27, "1"));
  settings.SetLoad("");
  settings.SetSave("");
  ASSERT_EQ(autostart_folder_entries(), (std::vector<std::string>{"velmira.desktop"}));
  std::string entry = dir.read("velmira.desktop");
  EXPECT_NE(entry.find("Exec=" + (dir.path() / "velmira").string()), std::string::npos) << entry;
  EXPECT_EQ(dir.read("autostart-folder/velmira.desktop"), entry);

  dir.write("velmira.desktop", "damaged");
  settings.SetSave("");
  EXPECT_EQ(autostart_folder_entries(), (std::vector<std::string>{"velmira.desktop"}));
  EXPECT_EQ(dir.read("velmira.desktop"), entry);
  EXPECT_EQ(saved("setting.ini").at(26), "1");
}

TEST_F(SettingsFile, AutostartDoesNotReplaceAnEntryAlreadyInstalled) {
  dir.write("autostart-folder/velmira.desktop", "the user's own entry");
  page.autostart = true;
  settings.SetSave("");
  EXPECT_EQ(dir.read("autostart-folder/velmira.desktop"), "the user's own entry");
  EXPECT_TRUE(dir.exists("velmira.desktop"));
}

TEST_F(SettingsFile, AutostartOffDeletesTheInstalledEntry) {
  dir.write("autostart-folder/other.desktop", "x");
  page.autostart = true;
  settings.SetSave("");
  ASSERT_TRUE(dir.exists("autostart-folder/velmira.desktop"));
  page.autostart = false;
  settings.SetSave("");
  EXPECT_EQ(autostart_folder_entries(), (std::vector<std::string>{"other.desktop"}));
  EXPECT_EQ(saved("setting.ini").at(26), "0");
  // Off again with nothing to delete is no error.
  EXPECT_NO_THROW(settings.SetSave(""));
}

TEST_F(SettingsFile, SaveIntoAMissingFolderThrows) {
  EXPECT_THROW(settings.SetSave("absent\\"), data_file_error);
}

}  // namespace
}  // namespace velmira

namespace velmira {
namespace {

struct loadable_case {
  const char* name;
  const char* purge_line;
  int line;
  bool loadable;
};

class LoadableSettings : public ::testing::TestWithParam<loadable_case> {};

TEST_P(LoadableSettings, AgreesWithTheLoader) {
  std::vector<std::string> lines(33, "");
  lines[static_cast<size_t>(GetParam().line - 1)] = GetParam().purge_line;
  EXPECT_EQ(loadable_settings(lines), GetParam().loadable);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadableSettings,
                         ::testing::Values(loadable_case{"NewsPurgeOn", "1;2;", 24, true},
                                           loadable_case{"MenuPurgeOffWithABadIndex", "0;x;", 25, true},
                                           loadable_case{"NewsPurgeBadIndex", "1;x;", 24, false},
                                           loadable_case{"MenuPurgeEmptyIndex", "1;;", 25, false},
                                           loadable_case{"TimetablePurgeUnterminated", "1;3", 26, false},
                                           loadable_case{"BadIndexOnTheNotesLine", "1;x;", 23, true}),
                         testing::by_name);

TEST(LoadableSettings, ShortFileIsLoadable) { EXPECT_TRUE(loadable_settings({"2.0", "7001"})); }

}  // namespace
}  // namespace velmira
