#pragma once
// Copying the master's files to a server in remote mode, once the master has
// accepted its administration login: seven fetches in a fixed order, each
// stored under "remote\" in the data directory and followed by the reload of
// what it feeds. A step that fails is logged and the next one runs all the
// same, so one missing file does not keep the others from arriving.
//
// Texts are Windows-1251 unless named utf8.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_directory.hpp"
#include "remote_mode/http_fetch.hpp"

namespace velmira {

struct master_source {
  std::string host;  // host name or IP address
  std::uint16_t http_port = 0;
  std::string admin_login;  // goes into the path of the credentials files
  std::string admin_password;
  std::string http_login;  // Basic credentials of the file service
  std::string http_password;
};

// What the owner of the pull is told. Every hook and every write to the data
// directory runs through on_owner, so the caller decides on which thread they
// happen (a test passes one that runs the task at once). Empty hooks are
// skipped; on_owner must be set.
struct pull_hooks {
  std::function<void(std::function<void()>)> on_owner;
  // One event log text in UTF-8, WITHOUT the leading ": " — the event log's
  // append_event adds it: "Настройки сервера получены.".
  std::function<void(std::string_view utf8)> log;
  // Before each step: step is 1 .. total.
  std::function<void(int step, int total)> progress;
  std::function<void()> settings_received;  // remote\setting.ini, the master's settings
  std::function<void()> users_received;
  std::function<void()> classrooms_received;
  std::function<void()> classrooms_emptied;  // the classroom list could not be had
  std::function<void()> bells_received;      // after the schedule files were fetched
  std::function<void()> calendar_received;
  std::function<void()> finished;  // after the last step
};

// Starts the pull on `io`; it keeps itself alive until `finished` has run.
// `io` must outlive the pull.
void start_master_pull(boost::asio::io_context& io, master_source source, data_directory data,
                       pull_hooks hooks);

// ---- The parts that decide, without sockets ----

enum class pull_followup { settings, users, classrooms, bells, calendar, none };

struct pull_step {
  bool credentials_path;      // path is "/^" + login + ";" + password + "^" + resource
  std::string_view resource;  // the path, or its last part for credentials_path
  std::string_view stored_as;  // file name under remote\ (no folder)
  pull_followup followup;
  std::string_view success_utf8;
  std::string_view subject_utf8;  // what "could not be had" names in a failure line
  bool empty_is_success;          // the calendar may legitimately be empty
};

// The seven steps in the order they run.
std::span<const pull_step> pull_steps();

std::string step_path(const pull_step& step, const master_source& source);

enum class step_verdict { stored, unreachable, absent };

// "*error*" is unreachable; an empty text (unless the step takes it) and the
// master's refusal page for wrong Basic credentials (a text beginning with
// "<HTML>") are absent; anything else is stored.
step_verdict judge_step(std::string_view marker, bool empty_is_success);

// The log text for a step that ended with `verdict` (UTF-8, no ": ").
std::string step_log_text(const pull_step& step, step_verdict verdict);

// The stored copy of a fetched file: the text followed by one CR LF; a new
// copy of users.ini or setting.ini is for its owner only.
void store_remote_copy(const data_directory& data, std::string_view name, std::string_view text);

// The schedule names of a bell list: of the ten lines after the six header
// lines, the non-empty ones that have a file of their own in the remote
// folder (has_remote_schema_file). The others are left out: a name that
// cannot be a file name could only be stored outside the folder, and a
// reserved one (users, setting, kab, news, zametki) over the copy of the
// master's file of that name.
std::vector<std::string> schedule_names(const std::vector<std::string>& bell_list_lines);
// The reserved names schedule_names leaves out, each to be logged with
// left_out_schedule_log_text (UTF-8, without the leading ": ").
std::vector<std::string> left_out_schedule_names(const std::vector<std::string>& bell_list_lines);
std::string left_out_schedule_log_text(std::string_view name);

}  // namespace velmira
