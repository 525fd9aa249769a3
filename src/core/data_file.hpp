#pragma once
// Reading and writing the data files: Windows-1251 text, every line ended by
// CR LF on writing; CR LF, LF or a lone CR ends a line on reading, as the
// line readers of the platform the files come from do.
//
// Failures are reported as data_file_error (an std::system_error) so that an
// operation stops where the input/output failed, as the data formats expect.
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

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
struct file_attributes {
  mode_t permissions = 0644;
  std::optional<std::pair<uid_t, gid_t>> owner = std::nullopt;
};

// Replaces the file so that it is either wholly old or wholly new, even
// across a crash or a full disk: temporary file in the same folder, fsync,
// rename, fsync of the folder.
void replace_file_atomically(const fs::path& path, std::string_view bytes, const file_attributes& attributes = {});

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

inline void write_lines(const fs::path& path, const std::vector<std::string>& lines) {
  replace_file_atomically(path, join_lines(lines));
}

// All of `bytes` to `fd`, which was opened for `path`; throws data_file_error.
void write_all(int fd, std::string_view bytes, const fs::path& path);
// Makes a new or renamed name in `folder` survive a crash; best effort.
void sync_folder(const fs::path& folder);

// Lines of the file, or nothing when it does not exist.
std::optional<std::vector<std::string>> read_lines(const fs::path& path);

}  // namespace velmira
