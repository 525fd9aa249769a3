#pragma once
// Everything the server keeps about the school's data, the page models of
// the operator's window, and the loads that fill them. The one place that
// says what start-up loads and what a pushed file makes the server reload,
// for the server and for everything else that serves request lines (the
// request-line fuzzer).
//
// Thread-safety: the page models and loaders are used on the operator's
// thread only. What other threads read is published as snapshots (the
// user table, the greeting, the access settings) or has its own lock (the
// event log).
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "bells/bell_editor.hpp"
#include "bells/bell_schedule.hpp"
#include "content/calendar_schedule.hpp"
#include "content/classrooms.hpp"
#include "content/moderation.hpp"
#include "core/access_settings.hpp"
#include "core/autostart.hpp"
#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/greeting.hpp"
#include "core/published.hpp"
#include "core/settings_file.hpp"
#include "core/settings_page.hpp"
#include "protocol/protocol_stack.hpp"
#include "users/user_admin_page.hpp"
#include "users/user_table.hpp"
#include "users/users_file.hpp"

namespace velmira {

// "Cервер "Велмира" v. 2.0.4 (60203)", its first letter a Latin C.
inline constexpr const char* cap = "C" "ервер \"Велмира\" v. 2.0.4 (60203)";

struct server_state_options {
  std::filesystem::path data_dir;
  std::filesystem::path executable;        // for the autostart entry
  std::filesystem::path autostart_folder;  // where the desktop looks for autostart entries
  std::string organisation_utf8;
  const clock_source* clock = nullptr;     // the machine's local time when null
  event_log::line_sink log_echo;           // every log line is passed here too
  unsigned threads = 0;                    // pool size; 0: the number of cores, at least 2
  // The factory settings of an installed server, copied when the data
  // directory has neither setting.ini nor setting.000; none when empty.
  std::filesystem::path installed_factory_settings;
};

class server_state {
 public:
  // `clock` must outlive this. `bell_push` sends the bell files to the
  // master (remote mode), on the operator's thread; none where nothing is sent.
  server_state(const server_state_options& options, const clock_source& clock, bell_editor::bell_push bell_push);
  server_state(const server_state&) = delete;
  server_state& operator=(const server_state&) = delete;

  // The local settings file into the page; then the access settings are
  // published anew.
  void load_settings();
  void publish_access();
  // `calendar_off_flag` as build_greeting takes it.
  void publish_greeting(const std::string& calendar_off_flag);
  // What a local server serves besides the settings: bells, classrooms, users.
  void load_local_subsystems();
  // Every load of the bell list goes through the editor, so its grid shows
  // what was loaded; `dop` is "zvonok" or "remote".
  void load_bell_list(std::string_view dop);

  // The client protocol over this state; `to_operator` as the dispatcher takes it.
  protocol_dependencies protocol(dispatcher::operator_post to_operator);

  const clock_source& clock;
  const std::string organisation;  // Windows-1251
  const std::string title;         // the window's caption, UTF-8
  settings_page settings;
  server_page page;
  event_log log;
  data_directory data;
  autostart_entry autostart;
  calendar_schedule calendar;
  velmira::settings_file settings_file;
  user_table users;
  velmira::users_file users_file;
  // Every load of the users goes through the page, which empties its form
  // with the table.
  user_admin_page users_page{users, users_file};
  bell_schedule bells;
  bell_editor bell_page;  // over `bells`; works in the folder of the mode `page` shows
  classrooms rooms;
  moderation_window news_moderation{data, moderation_kind::news};
  moderation_window notes_moderation{data, moderation_kind::notes};
  published<greeting> hello;
  published<access_settings> access;

 private:
  // What the server reloads once a pushed file is stored.
  admin_reloads reloads();
};

}  // namespace velmira
