#pragma once
// The data directory and its tree. Relative data paths are written as the
// data formats and the wire write them: Windows-1251 with "\" between
// folders; on disk they are UTF-8 with "/".
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmira {

namespace fs = std::filesystem;

// Files in the data directory that belong to the running server rather than
// to the school's data: neither served over HTTP nor put into a backup (the
// operator's key only when asked for).
inline constexpr std::string_view lock_file_name = ".velmira.lock";
inline constexpr std::string_view operator_key_file_name = "console.key";

class data_directory {
 public:
  explicit data_directory(fs::path root);

  const fs::path& root() const { return root_; }

  // A path the server itself names (trusted): "raspisanie\info.ini".
  fs::path file(std::string_view relative) const;

  // A path that comes from outside (a client, a peer): nothing when it would
  // leave the data directory or cannot be a file name — "..", an absolute
  // path, a drive letter, an empty component, NUL or a control character.
  std::optional<fs::path> checked_file(std::string_view relative) const;

  // The content folders; the bell folder "zvonok" comes later in start-up.
  void create_tree() const;
  // Empties the placeholder files of notes and announcements. Like
  // write_placeholder_pages, writes only a file whose bytes differ.
  void reset_text_placeholders() const;
  // The "coming soon" page a client gets for a missing timetable or menu.
  void write_placeholder_pages() const;

 private:
  fs::path root_;
};

// Whether text from outside (a publication date, a menu number, a schema
// name, a component of a pushed or requested path) can be one file name
// inside its folder: not empty, not "." or "..", no "/", "\\", ":" (a drive
// letter or, on the platform the files come from, a stream), nor control
// characters.
bool usable_file_name(std::string_view name);

// The permission bits a data file gets when it is first written (a rewrite
// keeps the file's own, see file_attributes): owner-only for the files that
// hold passwords, users.ini and setting.ini and their copies under remote\,
// the usual 0644 for the rest. `relative` as file() takes it.
mode_t new_file_permissions(std::string_view relative);

// The page a client gets instead of a timetable or menu that is not there.
std::string placeholder_page();

}  // namespace velmira
