#pragma once
// The moderation window: every announcement or note record of one file as
// a list row with its author decoded, and the deletion of the rows the
// operator checked.
//
// Clients keep adding records while the window is open, so a deletion
// never writes the list back: it reads the file again and removes exactly
// the checked records, matched by their whole line, and whatever arrived
// meanwhile stays.
//
// Not thread-safe: fills and deletions run on the operator's thread, where
// the client commands that write these files run too. Keeps a reference to
// `data`. Input/output errors throw data_file_error; the rewrite is atomic.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_directory.hpp"
#include "core/operator_outcome.hpp"

namespace velmira {

enum class moderation_kind { notes, news };

// One record; text Windows-1251, login and password decoded.
struct moderation_row {
  std::string date, time, login, password, author_first, author_second, text, colour;
  std::string line;  // the record's line as the file holds it
};

class moderation_window {
 public:
  moderation_window(const data_directory& data, moderation_kind kind) : data_(data), kind_(kind) {}

  // "Удаление заметок" or "Удаление объявлений" (UTF-8).
  const char* title() const;
  // The file of this window in the operating mode: zametki\data.ini or
  // news\data.ini locally, remote\zametki.ini or remote\news.ini in remote mode.
  std::string file_of(bool remote_mode) const;

  // Opening the window: fills the list from the file of the mode.
  void open(bool remote_mode);
  const std::vector<moderation_row>& rows() const { return rows_; }

  // "Удалить отмеченные": `checked` are list indexes (out of range ones are
  // ignored). Removes those records from the file, deletes the file when
  // nothing is left, and fills the list again. False, and nothing changes,
  // when the list is empty or nothing is checked.
  bool SpeedButton1Click(const std::vector<std::size_t>& checked);
  // "Удалить всё": asks first; Yes removes every listed record. Nothing
  // happens while the list is empty.
  struct delete_all_result {
    operator_outcome outcome;
    bool file_changed = false;
  };
  delete_all_result SpeedButton2Click(operator_answer answer);

  // Fills the list from `fil`, relative to the data directory; a missing
  // file leaves it empty. Reading stops at the first empty line.
  void UpravenZametObjav(std::string_view fil);

 private:
  void DelZametObjav(const std::vector<std::size_t>& checked);

  const data_directory& data_;
  const moderation_kind kind_;
  std::string file_;  // of the last fill
  std::vector<moderation_row> rows_;
};

// A record line cut into its eight fields; a field whose separator is
// missing reads as empty, and so does every later one.
moderation_row parse_moderation_row(std::string_view line);

}  // namespace velmira
