#pragma once
// The server: owns every subsystem, the listeners, the timers, the thread
// pool and the operator's thread, and wires them together. The operator
// console drives it through the operations named after the window's.
//
// Thread-safety: every public operation may be called from any thread
// except the operator's own; the ones that change state run on the
// operator's thread and return when they are done there.
#include <boost/asio/io_context.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bells/bell_editor.hpp"
#include "content/calendar_document.hpp"
#include "content/moderation.hpp"
#include "core/clock.hpp"
#include "core/event_log.hpp"
#include "core/greeting.hpp"
#include "core/operator_outcome.hpp"
#include "core/settings_page.hpp"
#include "remote_mode/master_sends.hpp"
#include "users/user_admin_page.hpp"
#include "users/user_import.hpp"
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
  // The factory settings of an installed server, copied when the data
  // directory has neither setting.ini nor setting.000; none when empty.
  std::filesystem::path installed_factory_settings;
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
  // Stops the listeners and the timers and joins the threads; idempotent.
  void shutdown();

  // Switches to local mode: saves the settings with local mode, rebuilds
  // the greeting, reloads the local data and starts the listeners.
  std::optional<std::string> PereklNaLockal();

  // "Сохранить" of the settings page: the page's checks, then saving and
  // the mode change its table gives. Returns the messages the operator is
  // shown (UTF-8).
  std::vector<std::string> BitBtn13Click();
  // "Запросить данные с сервера" (remote mode).
  void BitBtn2Click();
  // The page the console shows: "server", "bells", "users" or "settings".
  // Every page change refreshes the bell editor's today caption and enabled
  // fields (PageControl1Change), as the window's did.
  void show_page(std::string page);
  // Messages no operator action produced (the master's replies, a switch to
  // local mode after a failed send), oldest first; UTF-8.
  std::vector<std::string> queued_messages();
  // While a send to the master or a pull runs, the window is disabled: the
  // operator's actions then throw operator_busy.
  bool busy();
  // In remote mode, after an editor saved its copy under remote\: the copy
  // goes to the master. `bells` sends the bell list and every schema.
  void send_copy_to_master(master_file file);
  void send_bells_to_master();

  // The start/stop button of the server page.
  std::optional<std::string> BitBtn1Click();
  void ServerStart();
  void ServerStop();
  int cl() const;

  // The moderation windows. Opening fills the list from the file of the
  // operating mode; `moderation` shows the list as it stands. A deletion in
  // remote mode sends the copy to the master.
  struct moderation_view {
    std::string title;  // UTF-8
    std::vector<moderation_row> rows;
  };
  moderation_view open_moderation(moderation_kind kind);
  moderation_view moderation(moderation_kind kind);
  // "Удалить отмеченные", `rows` being list indexes; "Удалить всё".
  void delete_checked_records(moderation_kind kind, const std::vector<std::size_t>& rows);
  operator_outcome delete_all_records(moderation_kind kind, operator_answer answer);

  // The calendar editor: its document, and whether "Календарный график"
  // enables it.
  struct calendar_view {
    bool enabled = false;
    calendar_document document;
  };
  calendar_view calendar();
  // "Сохранить" of the calendar group over `document`; in remote mode the
  // copy goes to the master.
  void BitBtn14Click(calendar_document document);

  // The "Пользователи" page: the list is the user table itself, so every
  // change below reaches log-ins at once; nothing reaches the file before
  // BitBtn9Click. A row index past the table throws std::out_of_range.
  struct users_view {
    std::shared_ptr<const user_rows> rows;
    user_form form;
  };
  users_view users_page();
  // The form takes `values`, then the role rules apply; nothing is saved.
  void fill_user_form(const user_form_values& values);
  // "Добавить пользователя" over the form filled with `values`.
  operator_outcome BitBtn4Click(const user_form_values& values, operator_answer answer);
  void BitBtn5Click();
  void sListView11DblClick(std::size_t row);
  // std::invalid_argument when `checked` does not have one box per row.
  void sListView11Click(const std::vector<bool>& checked);
  void SortUser(int n);
  operator_outcome P1Click(operator_answer answer);
  operator_outcome N4Click(operator_answer answer);
  operator_outcome N3Click(std::size_t row, operator_answer answer);
  // "Сохранить" of the users; in remote mode the copy goes to the master.
  void BitBtn9Click();
  // Ours: a class list added as the form would add each of its users.
  import_report import_users(std::string_view csv_bytes, bool generate_missing);

  // The bell editor ("Редактор звонков"); names and values are
  // Windows-1251. Every list load goes through it. The actions write the
  // bell folder of the mode shown; in remote mode the editor itself sends
  // the list and every schema to the master once its files are written.
  void read_bells(const std::function<void(const bell_editor&)>& reader);
  // A click in the schema list; nothing: beside the entries. An index past
  // the list throws std::out_of_range.
  operator_outcome sListView2Click(std::optional<std::size_t> index);
  void DenClick(int den);
  // False, and nothing changes, when `text` is not an item of the field or
  // the field is disabled.
  bool sCombChange(int lesson, lesson_field field, std::string text);
  // "Добавить" with `name` typed into the name field first.
  operator_outcome BitBtn6Click(std::string name);
  operator_outcome BitBtn7Click();
  operator_outcome N10Click(int step);
  // The rename window opened on the selected entry (N12Click), or closed.
  void show_rename_window(bool open);
  // "Продолжить" with `new_name`, the window opened first when it is not.
  operator_outcome rename_schema(std::string new_name);
  operator_outcome E1Click(operator_answer answer);
  void g1Click(int source);

  // The classrooms group: the field's lines (Windows-1251), and its
  // "Сохранить" once the field holds `text`. A name the administration
  // channel cannot carry is refused with a message, and nothing is saved.
  std::vector<std::string> classrooms();
  operator_outcome BitBtn8Click(std::string text);

  // A .tar.gz of the data directory without the operator's key, read on the
  // operator's thread so that no operation's writes are half in it.
  std::string backup_archive();

  // Removes the first `count` queued messages, those the console has shown.
  void acknowledge_messages(std::size_t count);
  // The log view's emptying button: writes nothing.
  void BitBtn3Click();
  // The event loop of the pool, for the operator console's listener.
  boost::asio::io_context& context();

  // Thread-safe by themselves.
  event_log& log();
  const user_table& users() const;
  const std::string& title() const { return title_; }

  // Copies taken on the operator's thread.
  server_page page_state();
  greeting connection_greeting() const;
  // Runs `reader` on the operator's thread, where the settings page lives.
  void read_settings(const std::function<void(const settings_page&)>& reader);
  // The operator changes controls of the settings page (nothing is saved).
  void edit_settings(const std::function<void(settings_page&)>& edit);

 private:
  struct parts;

  void start_up();
  // The start-up's loads; true when the settings select local mode.
  bool load_at_start_up();
  void start_pool();
  std::optional<std::string> switch_to_local();
  void refuse_while_busy() const;
  // An operator message (a port out of range) also goes into the log.
  std::optional<std::string> start_listeners();

  server_options options_;
  std::unique_ptr<clock_source> own_clock_;
  const clock_source& clock_;
  std::string title_;  // UTF-8
  std::unique_ptr<parts> parts_;
  std::vector<std::thread> pool_;
};

// "Cервер "Велмира" v. 2.0.4 (60203)", its first letter a Latin C.
inline constexpr const char* cap = "C" "ервер \"Велмира\" v. 2.0.4 (60203)";

}  // namespace velmira
