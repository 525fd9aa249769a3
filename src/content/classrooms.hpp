#pragma once
// The classrooms list: the lines of the operator's editing field, one
// classroom name per line, kept as dop\kab.ini — a single line holding every
// name followed by "/" (no line at all when there are no names).
//
// `dop` is "raspisanie\" (local mode) or "remote\" (remote mode). Names are
// Windows-1251. Input/output errors throw data_file_error; the save is
// atomic, so a failed one leaves the old file whole.
//
// Not thread-safe: calls are serialised on the operator's thread, including the
// reload after an administration upload. Keeps a reference to `data`.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_directory.hpp"

namespace velmira {

// The names of the file's first line: the text before each "/", empty names
// included; text after the last "/" is not a name. A line holding
// "<!DOCTYPE html>" is an HTML page stored in place of the list: no names.
std::vector<std::string> parse_classrooms(std::string_view file_text);
// Empty lines and lines of spaces are skipped, trailing spaces removed and
// leading ones kept; an empty result is an empty file.
std::string format_classrooms(const std::vector<std::string>& lines);

class classrooms {
 public:
  explicit classrooms(const data_directory& data) : data_(data) {}

  // The lines of the editing field as they stand.
  const std::vector<std::string>& names() const { return lines_; }
  // The field's whole text; CR LF, LF or CR end its lines.
  void set_text(std::string_view text);

  // Why the field must not be saved, for the operator (UTF-8): a name
  // holding "|" or "^", which the administration channel cannot carry to a
  // master, and which a copy pulls from here and sends back. Nothing when
  // the field may be saved.
  std::optional<std::string> save_refusal() const;

  // Replaces the field with the names of dop\kab.ini; empty when the file
  // is missing.
  void KabLoad(std::string_view dop);
  void KabSave(std::string_view dop) const;

 private:
  const data_directory& data_;
  std::vector<std::string> lines_;
};

}  // namespace velmira
