#pragma once
// The 33-line settings file and its load into, and save from, the settings
// page. `dop` is the path prefix: "" for the local file, "remote\" for the
// master's copy.
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "core/autostart.hpp"
#include "core/data_directory.hpp"
#include "core/settings_page.hpp"

namespace velmira {

inline constexpr int settings_line_count = 33;

// What loading the calendar line does to the calendar editor, which belongs
// to another subsystem.
struct calendar_editor_hooks {
  std::function<void(const fs::path& rtf)> load;
  std::function<void()> clear;
};

class settings_file {
 public:
  settings_file(const data_directory& data, settings_page& page, server_page& server,
                const autostart_entry& autostart, calendar_editor_hooks calendar = {});

  // Throws data_file_error when the file is missing or unreadable, and
  // operator_error when a purge line's index is not an integer; the lines
  // before the faulty one are applied by then.
  void SetLoad(std::string_view dop);
  // Throws data_file_error when the file cannot be written; the old file is
  // then left whole.
  void SetSave(std::string_view dop);

  // Lines 2, 3, 4, 9, 10, 22, 27, 29, 30, 31, 32, 33 of the master's copy,
  // kept while the page shows the master's settings.
  std::array<std::string, 12> mas_set;
  // Lines 3, 9, 10 of the local file as last loaded.
  std::string port_HTTP, login_HTTP, pas_HTTP;

 private:
  void load_line(int number, const std::string& value, bool master_copy);
  void load_purge_line(int number, const std::string& value);
  void load_calendar_line(const std::string& value, std::string_view dop);
  void load_mode_line(const std::string& value, bool master_copy);
  std::string save_line(int number, bool master_copy);

  const data_directory& data_;
  settings_page& page_;
  server_page& server_;
  const autostart_entry& autostart_;
  calendar_editor_hooks calendar_;
};

// Which entry of `mas_set` (1 to 12) keeps a line of the master's copy; 0 for
// lines the page shows.
int mas_set_entry(int line);

// A purge line as the loader reads it: the switch, and the age index when
// the switch is on and the index is an integer.
struct purge_line {
  bool on = false;
  std::optional<int> index;
};
purge_line read_purge_line(std::string_view value);

// False when loading these lines would stop at a purge line whose index is
// not an integer; lets a file be refused before it replaces a loadable one.
bool loadable_settings(const std::vector<std::string>& lines);

}  // namespace velmira
