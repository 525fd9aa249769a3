#pragma once
// The bell files of one bell directory and the state they fill: the schema
// list, the status texts and the current schema `shema`.
//
// `dop` is the bell directory, "zvonok" (local mode) or "remote" (remote
// mode); the files are dop\spisok.ini and dop\<name>.ini. Every rewrite is
// atomic, so the HTTP service never serves a half-written file.
//
// Failures: a schema name that cannot be a file name, whose file would be
// too long a name for the folder, or (under remote\) reserved is refused
// with a UTF-8 message for the operator, returned as the value and nothing
// touched; input/output errors throw data_file_error.
//
// Not thread-safe: every call, and every use of the references handed out,
// happens on the operator's thread. The object keeps a reference to `data`,
// which must outlive it.
#include <optional>
#include <string>
#include <string_view>

#include "bells/bell_list.hpp"
#include "bells/schema_table.hpp"
#include "core/data_directory.hpp"

namespace velmira {

// A text for the operator (UTF-8) when the operation was refused.
using refusal = std::optional<std::string>;

// The bell directory of remote mode, where the pull also keeps its copies
// of the master's other files.
inline constexpr std::string_view remote_bell_folder = "remote";

// Refuses names that cannot be one file name here or on the master: empty,
// "." or "..", holding "/", "\", ":" or a control character, or "spisok" in
// any letter case (its file would be the list file).
refusal schema_name_refusal(std::string_view name);

// Names that are file names but not a schema's: under remote\ their file
// would be a copy the pull keeps there (users.ini, setting.ini, kab.ini,
// news.ini, zametki.ini). Compared as the clients' file systems compare
// names: Latin letters in either case.
bool reserved_schema_name(std::string_view name);

// Whether a schema of a master's list has a file of its own under remote\:
// a file name that is not reserved. The pull fetches, and the editor sends,
// only these.
bool has_remote_schema_file(std::string_view name);

class bell_schedule {
 public:
  explicit bell_schedule(const data_directory& data) : data_(data) {}

  // Why a schema added or renamed in `dop` cannot take `name`: the reasons
  // of the file operations below, and a reserved name in either folder, so
  // that no master's list comes to name one.
  refusal new_schema_name_refusal(std::string_view dop, std::string_view name) const;

  schema_list& list() { return list_; }
  const schema_list& list() const { return list_; }
  status_texts& texts() { return texts_; }
  const status_texts& texts() const { return texts_; }
  // The current schema; reset() blanks it, as at start-up.
  schema_table& shema() { return shema_; }
  const schema_table& shema() const { return shema_; }

  // Fills the list and the status texts from dop\spisok.ini (a missing file
  // keeps both as they were), then selects the first schema and loads it.
  // Afterwards the editor shows the current day when a schema is selected,
  // or blanks and disables its grid when the list is empty.
  refusal LoadSpisokLocal(std::string_view dop);
  // Writes dop\spisok.ini; empty status texts take their defaults first,
  // here as well as in the file.
  void SaveSpisokLocal(std::string_view dop);
  // Overwrites all of `shema` from dop\<im>.ini; a missing file leaves it.
  refusal LoadShema(std::string_view dop, std::string_view im);
  // Writes dop\<im>.ini with every field blank, replacing any such file.
  refusal CreateNewShema(std::string_view dop, std::string_view im);
  // With a schema selected: normalises `shema` and writes it as that
  // schema's file; nothing at all without a selection. The editor copies its
  // grid into `shema` before, and makes the schema current again and sends
  // the bell files after.
  refusal SaveSpisZvon(std::string_view dop);

  // Renames dop\<from>.ini to dop\<to>.ini, replacing a file of the new
  // name. A failure, a missing file for instance, is ignored: the list entry
  // is what the operator renames.
  refusal rename_schema_file(std::string_view dop, std::string_view from, std::string_view to);
  // Deletes dop\<im>.ini; a failure, a missing file for instance, is ignored.
  refusal delete_schema_file(std::string_view dop, std::string_view im);

 private:
  // Why dop\<im>.ini cannot be a schema's file.
  refusal schema_file_refusal(std::string_view dop, std::string_view im) const;
  // `im` has passed schema_file_refusal.
  fs::path schema_path(std::string_view dop, std::string_view im) const;

  const data_directory& data_;
  schema_list list_;
  status_texts texts_;
  schema_table shema_;
};

}  // namespace velmira
