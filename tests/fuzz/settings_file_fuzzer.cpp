// setting.ini as read from disk, loaded as the local file and as the
// master's copy (remote\setting.ini), with the calendar editor attached as
// the server attaches it. A load may refuse the file (operator_error for a
// purge index that is not an integer, data_file_error for an unreadable
// file); anything else escaping is a finding.
//
// Saving what a load shows must be a fixed point: loading the saved file
// and saving again writes the same bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "content/calendar_schedule.hpp"
#include "core/autostart.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/operator_error.hpp"
#include "core/settings_file.hpp"
#include "core/settings_page.hpp"
#include "fuzz_support.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

// One server's worth of settings objects, fresh for every input.
struct settings_under_test {
  settings_under_test(const data_directory& data, const autostart_entry& autostart)
      : calendar(data, page),
        file(data, page, server, autostart,
             calendar_editor_hooks{[this](const fs::path& rtf) { calendar.load(rtf); },
                                   [this] { calendar.clear(); }}) {}

  // False when the file was refused.
  bool load(std::string_view dop) {
    try {
      file.SetLoad(dop);
      return true;
    } catch (const operator_error&) {
      return false;
    } catch (const data_file_error&) {
      return false;
    }
  }

  settings_page page;
  server_page server;
  calendar_schedule calendar;
  settings_file file;
};

class settings_directory {
 public:
  // The seed brings the remote folder and a kalendgraf.rtf for the
  // calendar line to load.
  settings_directory() { fuzz::seed_data_directory(data_); }

  void check(std::string_view bytes) {
    replace_file_atomically(data_.file("remote\\setting.ini"), bytes);
    settings_under_test(data_, autostart_).load("remote\\");

    replace_file_atomically(data_.file("setting.ini"), bytes);
    auto first = saved_after_load();
    if (!first) return;
    fuzz::require(saved_after_load() == first, "setting.ini saved after a load does not load back the same");
  }

 private:
  // The file SetSave writes after SetLoad, or nothing when the load refused it.
  std::optional<std::string> saved_after_load() {
    settings_under_test settings(data_, autostart_);
    if (!settings.load("")) return std::nullopt;
    settings.file.SetSave("");
    return read_file(data_.file("setting.ini"));
  }

  testing::temp_dir dir_;
  data_directory data_{dir_.path()};
  autostart_entry autostart_{dir_.path(), dir_.path() / "velmira", dir_.path() / "autostart", {}};
};

}  // namespace
}  // namespace velmira

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velmira::settings_directory directory;
  directory.check(velmira::fuzz::as_text(data, size));
  return 0;
}
