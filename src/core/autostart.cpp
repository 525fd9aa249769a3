#include "core/autostart.hpp"

#include <cstdlib>
#include <system_error>

#include "core/data_file.hpp"

namespace velmira {

autostart_entry::autostart_entry(fs::path data_dir, fs::path executable, fs::path autostart_folder,
                                 std::vector<std::string> arguments)
    : data_dir_(std::move(data_dir)),
      executable_(std::move(executable)),
      autostart_folder_(std::move(autostart_folder)),
      arguments_(std::move(arguments)) {}

namespace {

// Quoting of an Exec word as desktop entries define it.
std::string exec_word(const std::string& word) {
  if (word.find_first_of(" \t\"'\\$`<>~|&;*?#()") == std::string::npos && !word.empty()) return word;
  std::string quoted = "\"";
  for (char c : word) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string autostart_entry::entry_text() const {
  std::string exec = exec_word(executable_.string());
  for (const auto& a : arguments_) exec += " " + exec_word(a);
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" + executable_.stem().string() + "\n"
         "Exec=" + exec + "\n"
         "Path=" + data_dir_.string() + "\n"
         "Terminal=false\n";
}

fs::path autostart_entry::kept_entry() const {
  return data_dir_ / (executable_.stem().string() + ".desktop");
}

fs::path autostart_entry::installed_entry() const {
  return autostart_folder_ / kept_entry().filename();
}

void autostart_entry::enable() const {
  try {
    replace_file_atomically(kept_entry(), entry_text());
    std::error_code ec;
    fs::create_directories(autostart_folder_, ec);
    fs::copy_file(kept_entry(), installed_entry(), fs::copy_options::skip_existing, ec);
  } catch (const std::exception&) {
    // A failed shortcut leaves autostart without effect and reports nothing.
  }
}

void autostart_entry::disable() const {
  std::error_code ec;
  fs::remove(installed_entry(), ec);
}

fs::path autostart_entry::user_autostart_folder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    return fs::path(config) / "autostart";
  }
  const char* home = std::getenv("HOME");
  return fs::path(home ? home : ".") / ".config" / "autostart";
}

}  // namespace velmira
