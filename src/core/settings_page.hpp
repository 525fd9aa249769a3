#pragma once
// Page models of the operator's window that the server core owns: the
// settings page ("Настройки") and the server page ("Сервер").
//
// Setting values are Windows-1251 (they go into replies and data files);
// captions and labels are UTF-8 (they are only ever shown).
// Both models are changed on the operator's thread only; the log switches are
// the exception and may be read from any thread.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/event_log.hpp"

namespace velmira {

enum class operating_mode { local, remote };

inline constexpr const char* local_mode_caption = "Локальный сервер";
inline constexpr const char* remote_mode_caption = "Удаленный доступ";

// A purge switch with its age list ("объявления старше" … "месяцев").
struct purge_selector {
  bool on = false;
  int age_index = -1;  // selected entry of the age list, counting from 0; -1 none
  bool list_enabled = false;
  std::string unit_label;  // "месяца" / "месяцев", UTF-8
  int list_size = 12;      // number of ages offered, 1 to list_size months

  void select(int index);  // out-of-range indexes leave no selection
  void tick();             // the switch turned on: one month, list enabled
  void untick();           // the switch turned off: no selection, list disabled
};

struct settings_page {
  settings_page();
  settings_page(const settings_page&) = delete;
  settings_page& operator=(const settings_page&) = delete;

  std::string client_version;    // line 1
  std::string main_tcp_port;     // line 2
  std::string data_http_port;    // line 3
  std::string file_server_port;  // line 4
  std::string phone, site, email, vk;  // lines 5-8
  std::string http_login;        // line 9
  std::string http_password;     // line 10
  log_switches log;              // lines 11-21
  bool hide_at_startup = false;  // line 22
  bool purge_notes = false;      // line 23
  purge_selector purge_news, purge_menus, purge_timetables;  // lines 24-26
  bool autostart = false;        // line 27
  bool calendar_on = false;      // line 28
  bool calendar_editor_enabled = false;
  operating_mode selected_mode = operating_mode::local;  // line 29
  bool allow_remote_admin = false;  // line 30
  std::string admin_login;          // line 31
  std::string admin_password;       // line 32
  std::string master_address;       // line 33

  // The groups "Порт …", "Данные для удаленного администрирования" and the
  // switches that only a local server uses.
  bool local_only_visible = true;
  void SetElVisible(bool visible) { local_only_visible = visible; }
};

// Why "Сохранить" refuses the page: a field of the group "Порт", or with
// "Удаленный доступ" selected also of "Данные для удаленного
// администрирования", that is empty or has a character the rule refuses;
// then, the fields having passed those checks, a port above 65535 or a main
// TCP port equal to the data HTTP port, which no listener could take. A
// port of 0 passes: the start of the listeners refuses it.
enum class save_refusal { ports, remote_administration, port_out_of_range, same_ports };

// The checks of "Сохранить"; made only while the local-only settings are
// shown, since the page holds no local ports while it shows a master's copy.
std::optional<save_refusal> settings_save_refusal(const settings_page& page);
// What the operator is told of a refusal, and the log text (after the prefix); UTF-8.
const char* save_refusal_message(save_refusal refusal);
const char* save_refusal_log_text(save_refusal refusal);

struct server_page {
  std::vector<std::string> addresses;  // "Сервер доступен на IP-адресах"
  char running_state = '0';            // the start/stop button: '0' stopped, '1' running
  bool start_stop_visible = true;
  bool game_counter_visible = false;
  std::string game_counter_text = "0 игр активно";
  bool request_data_visible = false;   // "Запросить данные с сервера"
  std::string mode_caption;            // "Режим: " + the mode's caption, UTF-8
  // The pull from the master in progress: step k of n; none otherwise.
  struct progress {
    int step = 0, of = 0;
  };
  std::optional<progress> pull_progress;

  bool shows_local_mode() const;
  // The display of a selected mode: buttons, counter and caption.
  void show_mode(operating_mode mode);
};

}  // namespace velmira
