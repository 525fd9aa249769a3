#pragma once
// "conec" + "Admi" and "setti" + "Admi": the master's end of the
// administration channel, over which a remote-mode copy checks its
// credentials and pushes whole data files.
//
// The channel has its own login and password ("Данные для удаленного
// администрирования"), not the user table, and both commands are refused
// while "Разрешить удаленное управление" is off or either credential is
// empty: an empty pair would open the channel to anybody.
//
// A push names one of the files the channel exists for and nothing else:
// setting.ini, kalendgraf.rtf, raspisanie\kab.ini, users.ini,
// zametki\data.ini, news\data.ini, zvonok\spisok.ini and
// zvonok\<schema name>.ini, plus "zvend", which ends a transfer of bell
// files and stores nothing. Every other name is refused, so a push can
// never leave the data directory nor overwrite a file the master keeps for
// itself (setting.000, the executable, the autostart copy).
//
// Requests and replies are Windows-1251; log texts are UTF-8 and are
// written whatever the log switches say.
//
// "conec" reads only published snapshots and runs on any thread; "setti"
// and its reload hooks run on the operator's thread. A data_file_error or
// std::filesystem::filesystem_error (for instance a missing folder) means
// the push failed part-way: no reply, no log line, no reload; the
// connection then ends.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/access_settings.hpp"
#include "core/published.hpp"
#include "protocol/login_commands.hpp"

namespace velmira {

// What the server does once a pushed file is stored. Every member must be
// set; each runs on the operator's thread.
struct admin_reloads {
  std::function<void()> reload_settings;    // setting.ini into the settings page
  std::function<void()> reload_users;       // users.ini into the user table
  std::function<void()> reload_classrooms;  // raspisanie\kab.ini into the classrooms list
  std::function<void()> reload_bells;       // the bell list and current schema from zvonok
  // kalendgraf.rtf into the calendar editor, then KalendarGrafSave("").
  std::function<void()> reload_calendar;
};

// One entry of the channel's table of files; defined beside the table.
struct admin_channel_file;

class admin_commands {
 public:
  // Everything passed in must outlive this.
  admin_commands(const published<access_settings>& access, const login_commands& login, const data_directory& data,
                 event_log& log, admin_reloads reloads)
      : access_(access), login_(login), data_(data), log_(log), reloads_(std::move(reloads)) {}

  // "conec" + "Admi": login ";" password ";" anything. The connection data
  // with notes flag "0", or "error" with a refusal log line.
  std::string conec(std::string_view arguments) const;

  // "setti" + "Admi": fil ";" login ";" password ";" payload "^" anything.
  // The payload is the file's lines, each followed by "|". Stores the file
  // (SaveFilUd), then reloads what uses it; replies "soobs" + confirmation
  // for the named files, nothing for bell files, "error" when refused.
  std::optional<std::string> setti(std::string_view arguments);

 private:
  // Where a push goes: `known` is its entry of the channel's table (none
  // for a bell file); `path` is where it is stored (none for "zvend").
  struct push_target {
    const admin_channel_file* known = nullptr;
    std::optional<fs::path> path;
  };

  // The log text (after the log prefix) when the channel refuses these credentials.
  std::optional<std::string_view> credentials_refusal(std::string_view login, std::string_view password) const;
  // Logs the text as an event and answers "error".
  std::string refuse(std::string_view log_text_utf8) const;
  // Nothing when `fil` is not a file this channel accepts.
  std::optional<push_target> target_of(std::string_view fil) const;
  // Rewrites the file with one line per "|"-terminated piece of the
  // payload; a new file gets `permissions`.
  void SaveFilUd(const fs::path& file, std::string_view payload, mode_t permissions) const;
  // The "then" step of a named file, its log line and its reply.
  std::string finish(const admin_channel_file& known, const push_target& target, std::string_view payload);

  const published<access_settings>& access_;
  const login_commands& login_;
  const data_directory& data_;
  event_log& log_;
  admin_reloads reloads_;
};

}  // namespace velmira
