#pragma once
// The server: owns every subsystem, the listeners, the timers and the
// operator lock, and wires them together. The operator console drives it
// through the page models and the operations named after the window's.
//
// Thread-safety: operations that change state take the operator lock
// themselves; the page models may be read under operator_lock().
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/clock.hpp"
#include "core/event_log.hpp"
#include "core/greeting.hpp"
#include "core/settings_page.hpp"
#include "users/user_table.hpp"

namespace velmira {

struct server_options {
  std::filesystem::path data_dir;
  std::filesystem::path executable;        // for the autostart entry
  std::filesystem::path autostart_folder;  // where the desktop looks for autostart entries
  std::string organisation_utf8;
  const clock_source* clock = nullptr;     // the machine's local time when null
  event_log::line_sink log_echo;           // every log line is passed here too
  unsigned threads = 0;                    // pool size; 0: the number of cores, at least 2
};

// A start-up that cannot go on: the process must not run half-started.
class startup_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Server {
 public:
  explicit Server(server_options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // The start-up sequence; throws startup_error. Runs the thread pool.
  void FormCreate();
  // Stops the listeners and the timers and joins the pool; idempotent.
  void shutdown();

  // Switches to local mode: saves the settings with local mode, rebuilds
  // the greeting, reloads the local data and starts the listeners.
  std::optional<std::string> PereklNaLockal();

  // The start/stop button of the server page.
  std::optional<std::string> BitBtn1Click();
  void ServerStart();
  void ServerStop();
  int cl() const;

  std::mutex& operator_lock() { return operator_lock_; }
  event_log& log() { return *log_; }
  settings_page& settings() { return settings_; }
  server_page& page() { return page_; }
  const greeting& connection_greeting() const { return greeting_; }
  const std::string& title() const { return title_; }
  const user_table& users() const { return users_; }


 private:
  struct parts;

  void start_pool();
  void load_local_subsystems();
  void load_bell_list();
  // Hands the HTTP read path the settings it needs; after every load or save.
  void publish_settings();
  std::optional<std::string> start_listeners_locked();

  server_options options_;
  std::unique_ptr<clock_source> own_clock_;
  const clock_source& clock_;
  std::mutex operator_lock_;
  settings_page settings_;
  server_page page_;
  std::unique_ptr<event_log> log_;
  greeting greeting_;
  std::string organisation_;  // Windows-1251
  std::string title_;         // UTF-8
  user_table users_;
  std::unique_ptr<parts> parts_;
  std::vector<std::thread> pool_;
};

// "Cервер "Велмира" v. 2.0.4 (60203)", its first letter a Latin C.
inline constexpr const char* cap = "C" "ервер \"Велмира\" v. 2.0.4 (60203)";

}  // namespace velmira
