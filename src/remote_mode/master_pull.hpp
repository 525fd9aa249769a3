#pragma once
// Copying the master's files to a server in remote mode, once the master has
// accepted its administration login: seven fetches in a fixed order, each
// stored under "remote\" in the data directory and followed by the reload of
// what it feeds. A step that fails is logged and the next one runs all the
// same, so one missing file does not keep the others from arriving.
//
// Texts are Windows-1251 unless named utf8.
#include <boost/asio/any_io_executor.hpp>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_directory.hpp"

namespace boost::asio {
class io_context;
}

namespace velmira {

struct master_source {
  std::string host;  // host name or IP address
  std::uint16_t http_port = 0;
  std::string admin_login;  // goes into the path of the credentials files
  std::string admin_password;
  std::string http_login;  // Basic credentials of the file service
  std::string http_password;
};

enum class pull_followup { settings, users, classrooms, bells, calendar, none };

// What the owner of a pull is told. Every member is called on the
// operator's executor, in the order of the steps, and the copies under
// remote\ are written there too, just before the reload they feed.
class pull_owner {
 public:
  // Before each step: step is 1 .. total.
  virtual void progress(int step, int total) = 0;
  // One event log text in UTF-8, WITHOUT the leading ": " — the event log's
  // append_event adds it: "Настройки сервера получены.".
  virtual void log(std::string_view utf8) = 0;
  // A copy was stored: reload what it feeds (never none). For the bell list,
  // once its schedule files were fetched too.
  virtual void reload(pull_followup what) = 0;
  // The classroom list could not be had.
  virtual void classrooms_missing() = 0;
  // After the last step; nothing is called after it.
  virtual void finished() = 0;

 protected:
  ~pull_owner() = default;
};

// Starts the pull on a strand of its own over `io`; results are applied on
// `operator_executor`. `io`, the operator's context and `owner` must outlive
// the pull, which ends with owner.finished(). What a member of the owner
// throws ends the pull and is rethrown on a thread running `io`.
void start_master_pull(boost::asio::io_context& io, boost::asio::any_io_executor operator_executor,
                       master_source source, data_directory data, pull_owner& owner);

// ---- The parts that decide, without sockets ----

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
