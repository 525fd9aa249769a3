#pragma once
// Reading and writing the data files: Windows-1251 text, every line ended by
// CR LF on writing; CR LF, LF or a lone CR ends a line on reading, as the
// line readers of the platform the files come from do.
//
// Failures are reported as data_file_error (an std::system_error) so that an
// operation stops where the input/output failed, as the data formats expect.
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "core/unique_fd.hpp"

namespace velmira {

namespace fs = std::filesystem;

class data_file_error : public std::system_error {
 public:
  data_file_error(std::error_code ec, const fs::path& path, const char* what);
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The whole file, or nothing when it does not exist. Other failures throw.
std::optional<std::string> read_file(const fs::path& path);

// Splits text into lines; a final line without terminator still counts,
// a terminator at the very end does not start one more (empty) line.
std::vector<std::string> split_lines(std::string_view text);

// The lines from the top up to, not including, the first empty line.
std::vector<std::string> lines_up_to_empty(std::vector<std::string> lines);

// Every line followed by CR LF.
std::string join_lines(const std::vector<std::string>& lines);

// What the new file gets: its permission bits and, when given, its owner
// (a restore run by root into a folder that belongs to the service's user).
// A rewrite of a file that is there keeps the file's own bits and owner
// instead, unless told otherwise, so that an administrator who set them
// differently keeps them; its owner only where the process may give files
// away (root), as a new file of anyone else's is theirs.
struct file_attributes {
  mode_t permissions = 0644;
  std::optional<std::pair<uid_t, gid_t>> owner = std::nullopt;
  bool keep_existing = true;
};

// A new version of a file, written beside it under a temporary name (the
// name of the file with a dot before and a dot and six characters after),
// synced, then renamed over the file. Destroyed before commit(), it removes
// the temporary file and the file stays as it was. Throws data_file_error.
class staged_file {
 public:
  explicit staged_file(fs::path path, const file_attributes& attributes = {});
  ~staged_file();
  staged_file(const staged_file&) = delete;
  staged_file& operator=(const staged_file&) = delete;

  void write(std::string_view bytes);
  // Syncs the bytes and gives the temporary file its attributes; the
  // rename that follows then cannot leave a half-written file.
  void finish();
  // Renames the finished file over the file and syncs the folder.
  void commit();

 private:
  fs::path path_;
  file_attributes attributes_;
  fs::path temporary_;
  unique_fd fd_;
  bool committed_ = false;
};

// Replaces the file so that it is either wholly old or wholly new, even
// across a crash or a full disk: a staged_file written whole and committed.
void replace_file_atomically(const fs::path& path, std::string_view bytes, const file_attributes& attributes = {});

// Whether a file of this name (one component, as on disk) can be written in
// `folder` as staged_file writes it: its temporary name, the longer one,
// within the longest name the folder's file system takes. A folder not yet
// made is judged by the nearest one that is.
bool fits_with_its_temporary_name(const fs::path& folder, std::string_view name);
// The longest file name the file system of `folder` (or of the nearest
// folder above it that exists) takes, in bytes.
std::size_t longest_file_name(const fs::path& folder);

// replace_file_atomically, unless the file already holds exactly `bytes`:
// then nothing is written, so a step repeated on every start needs no free
// space. True when the file was replaced.
bool replace_file_if_changed(const fs::path& path, std::string_view bytes);

// Removes the temporary files replace_file_atomically leaves behind when the
// process is killed mid-write: regular files named "." + a name + "." + six
// characters of mkstemp's alphabet, in `root` and every folder below it
// (symbolic links are not followed). Call it only while nothing writes in
// `root`. Entries that cannot be read or removed are left. Returns how many
// files were removed.
std::size_t remove_interrupted_writes(const fs::path& root);
// Whether a file name is one of those temporary names: "." + a name + "." +
// six characters of mkstemp's alphabet.
bool is_interrupted_write_name(std::string_view name);

inline void write_lines(const fs::path& path, const std::vector<std::string>& lines,
                        const file_attributes& attributes = {}) {
  replace_file_atomically(path, join_lines(lines), attributes);
}

// All of `bytes` to `fd`, which was opened for `path`; throws data_file_error.
void write_all(int fd, std::string_view bytes, const fs::path& path);
// Makes a new or renamed name in `folder` survive a crash; best effort.
void sync_folder(const fs::path& folder);

// Lines of the file, or nothing when it does not exist.
std::optional<std::vector<std::string>> read_lines(const fs::path& path);

}  // namespace velmira
