#pragma once
// The nightly purges of old content: the record files of announcements and
// notes, and the dated files of published timetables and menus.
//
// They report what they did and leave the event log to the caller. A record
// or file whose date cannot be read is kept and named in the outcome, so that
// one bad entry never blocks the purge of the others.
//
// No lock of their own: they run on the operator's thread, which also
// serialises them with the requests that rewrite the same files.
// Input/output failures throw data_file_error or fs::filesystem_error; the
// file being purged is then left as it was.
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_directory.hpp"

namespace velmira {

namespace fs = std::filesystem;

struct purge_outcome {
  bool removed = false;                      // at least one record or file went
  std::vector<std::string> unreadable_utf8;  // dates or file names kept because unreadable
};

// Which records of a data.ini stay.
struct record_keep_rule {
  std::chrono::local_days oldest_kept;  // records dated before it go
  bool needs_dot = false;               // the line must also contain a "."
};

// Purges folder\data.ini ("news", "zametki") of the records the rule does not
// keep, reading up to the first empty line. When records stay, the file is
// rewritten with them; when none stays, the file is deleted and an empty
// folder\data_tmp.ini is left beside it. A missing file is left alone.
purge_outcome purge_records(const data_directory& data, std::string_view folder, const record_keep_rule& rule);

// Deletes the files of `folder` named after a date (05.09.24.ini2,
// 05.09.2024.ini) dated before `oldest_kept`; names without three date parts
// before their first "ini" (kab.ini) are not touched. With
// `with_date_folders`, the folder of the same date (menu\05.09.24\) goes with
// its file.
purge_outcome purge_dated_files(const fs::path& folder, std::chrono::local_days oldest_kept,
                                bool with_date_folders);

// The names of the plain files directly in `folder` that contain ".ini",
// except error.ini and info.ini, sorted; none when the folder is missing.
std::vector<std::string> GetAllFiles(const fs::path& folder);

// Deletes `dir` with everything in it; true unless the deletion failed.
bool DelDir(const fs::path& dir);

}  // namespace velmira
