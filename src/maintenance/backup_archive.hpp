#pragma once
// Backups of a data directory as .tar.gz, and their restore.
//
// A backup holds every regular file and folder under the data directory but
// the server's own files (the lock, the operator's key unless asked for),
// the temporary files of a rewrite in progress, programs (the executable
// beside its data) and whatever the caller leaves out (the archive itself).
// Symbolic links and special files are skipped, as the HTTP file service
// skips them; a file deleted while the backup runs is simply not in it.
//
// Consistency: every data file is rewritten by renaming a whole new file
// over it, so a file opened and read to its end is always one whole version
// of it. Across files, only the operator's thread orders the writes: a
// caller inside the server builds the archive there (Server::backup_archive);
// a separate process gets each file whole, but two files may come from
// either side of one operation.
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmira {

struct backup_options {
  bool with_key = false;  // the operator's key too
  std::vector<std::filesystem::path> left_out;  // further files not to archive
};

// The archive's bytes; throws data_file_error when a file cannot be read and
// std::runtime_error when the archive cannot be built.
std::string build_backup_archive(const std::filesystem::path& data_dir, const backup_options& options = {});

// An archive refused before anything was written; what() says why.
class restore_refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Largest total of file bytes a restore takes, far above a school's data:
// an archive that unpacks to more is refused instead of filling the disk.
inline constexpr std::size_t max_restored_bytes = std::size_t{1} << 30;

// Restores `archive` into `data_dir`, all or nothing. Every entry is checked
// first, against the archive and against what is on disk: a relative path
// inside the directory ("..", absolute paths, control characters and the
// like are refused) in UTF-8, whose names (and a file's temporary name) the
// file system takes; a regular file or a folder (no links, devices or
// pipes); no path twice, no file where a folder must be, not the lock file;
// every file's bytes there to the end. Then every file is written and
// synced under its temporary name beside its target, streamed in bounded
// pieces whatever size the archive claims, with the permission bits it had
// (owner ones kept); only when all are staged do they replace their files.
// A failure before that removes what was staged and the folders made for
// it, and the directory is as it was. Files the archive does not hold stay
// as they are. When the process runs as root, what it writes is handed to
// the data directory's owner. The caller holds the directory's lock.
// Returns how many files were written; throws restore_refused, or
// data_file_error when writing fails.
std::size_t restore_backup_archive(std::string_view archive, const std::filesystem::path& data_dir);

}  // namespace velmira
