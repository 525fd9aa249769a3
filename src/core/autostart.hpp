#pragma once
// Starting the server with the desktop session: an XDG autostart entry
// "<base>.desktop", kept in the data directory and copied into the user's
// autostart folder. Nothing here reports a failure: autostart simply has
// no effect then.
#include <filesystem>
#include <string>
#include <vector>

namespace velmira {

namespace fs = std::filesystem;

class autostart_entry {
 public:
  // `arguments` are UTF-8 words added after the executable in the entry.
  autostart_entry(fs::path data_dir, fs::path executable, fs::path autostart_folder,
                  std::vector<std::string> arguments);

  // Rewrites the entry in the data directory; copies it into the autostart
  // folder unless a file of that name is already there.
  void enable() const;
  // Deletes the entry from the autostart folder; no error when absent.
  void disable() const;

  fs::path kept_entry() const;
  fs::path installed_entry() const;
  std::string entry_text() const;

  // $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart.
  static fs::path user_autostart_folder();

 private:
  fs::path data_dir_;
  fs::path executable_;
  fs::path autostart_folder_;
  std::vector<std::string> arguments_;
};

}  // namespace velmira
