#include "maintenance/backup_archive.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {

namespace fs = std::filesystem;

namespace {

struct archive_closer {
  void operator()(archive* a) const { archive_free(a); }
};
using archive_ptr = std::unique_ptr<archive, archive_closer>;

struct entry_closer {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using entry_ptr = std::unique_ptr<archive_entry, entry_closer>;

std::string library_error(archive* a, const std::string& what) {
  const char* text = archive_error_string(a);
  return what + ": " + (text ? text : "unknown error");
}

// ---- building --------------------------------------------------------------

la_ssize_t append_to_string(archive*, void* out, const void* bytes, size_t size) {
  static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), size);
  return static_cast<la_ssize_t>(size);
}

bool is_left_out(const fs::path& file, const fs::path& relative, const backup_options& options) {
  if (relative.native() == lock_file_name) return true;
  if (relative.native() == operator_key_file_name && !options.with_key) return true;
  if (is_interrupted_write_name(file.filename().string())) return true;
  std::error_code ec;
  return std::ranges::any_of(options.left_out, [&](const fs::path& p) { return fs::equivalent(p, file, ec); });
}

// The executable beside its data (the default layout), or any other
// program: no school data is an ELF file.
bool is_program(std::string_view bytes) { return bytes.starts_with("\x7F" "ELF"); }

class archive_writer {
 public:
  archive_writer() : a_(archive_write_new()) {
    if (!a_ || archive_write_add_filter_gzip(a_.get()) != ARCHIVE_OK ||
        // GNU tar's format: every tar reads it, and it keeps file names as
        // the bytes they are on disk (UTF-8 there) whatever the process's
        // locale makes of them.
        archive_write_set_format_gnutar(a_.get()) != ARCHIVE_OK ||
        // No padding after the compressed data.
        archive_write_set_bytes_in_last_block(a_.get(), 1) != ARCHIVE_OK ||
        archive_write_open(a_.get(), &bytes_, nullptr, append_to_string, nullptr) != ARCHIVE_OK) {
      throw std::runtime_error(library_error(a_.get(), "cannot start the archive"));
    }
  }

  void add_folder(const std::string& name, const struct stat& st) { add(name, st, AE_IFDIR, nullptr); }
  void add_file(const std::string& name, const struct stat& st, const std::string& bytes) {
    add(name, st, AE_IFREG, &bytes);
  }

  std::string finish() {
    if (archive_write_close(a_.get()) != ARCHIVE_OK) {
      throw std::runtime_error(library_error(a_.get(), "cannot finish the archive"));
    }
    return std::move(bytes_);
  }

 private:
  void add(const std::string& name, const struct stat& st, mode_t type, const std::string* bytes) {
    entry_ptr e(archive_entry_new());
    archive_entry_set_pathname(e.get(), name.c_str());
    archive_entry_set_filetype(e.get(), type);
    archive_entry_set_perm(e.get(), st.st_mode & 07777);
    archive_entry_set_mtime(e.get(), st.st_mtim.tv_sec, 0);
    if (bytes) archive_entry_set_size(e.get(), static_cast<la_int64_t>(bytes->size()));
    if (archive_write_header(a_.get(), e.get()) != ARCHIVE_OK ||
        (bytes && archive_write_data(a_.get(), bytes->data(), bytes->size()) != static_cast<la_ssize_t>(bytes->size()))) {
      throw std::runtime_error(library_error(a_.get(), "cannot archive " + name));
    }
  }

  std::string bytes_;  // before a_: the library writes here until a_ is freed
  archive_ptr a_;
};

// ---- restoring ---------------------------------------------------------------

struct restored_entry {
  bool folder = false;
  mode_t permissions = 0644;
};

// How much of a file is held in memory at once on its way to disk.
constexpr std::size_t restore_chunk = std::size_t{256} << 10;

// "a/b/c" from an archive's name: "./" steps and a folder's trailing "/"
// are dropped; nothing when a component could leave the directory or could
// not be a file name there.
std::optional<std::string> checked_name(std::string_view raw) {
  if (raw.empty() || raw.front() == '/') return std::nullopt;
  std::string name;
  while (!raw.empty()) {
    auto slash = raw.find('/');
    auto part = raw.substr(0, slash);
    raw = slash == std::string_view::npos ? std::string_view{} : raw.substr(slash + 1);
    if (part == "." || (part.empty() && raw.empty())) continue;
    if (!usable_file_name(part)) return std::nullopt;
    if (!name.empty()) name += '/';
    name += part;
  }
  return name;
}

// Whether every component, and a file's temporary name, fits the file
// system of the folder it goes to.
bool fits_on_disk(const fs::path& root, const std::string& name, bool folder) {
  const fs::path path = root / name;
  const auto longest = longest_file_name(path.parent_path());
  for (const auto& part : fs::path(name)) {
    if (part.native().size() > longest) return false;
  }
  return folder || fits_with_its_temporary_name(path.parent_path(), path.filename().native());
}

// One pass over the entries of an archive in memory.
class archive_reader {
 public:
  explicit archive_reader(std::string_view bytes) : a_(archive_read_new()) {
    archive_read_support_filter_gzip(a_.get());
    archive_read_support_format_tar(a_.get());
    if (archive_read_open_memory(a_.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
      throw restore_refused(library_error(a_.get(), "not a .tar.gz archive"));
    }
  }

  // The next entry; null at the end.
  archive_entry* next() {
    archive_entry* e = nullptr;
    int r = archive_read_next_header(a_.get(), &e);
    if (r == ARCHIVE_EOF) return nullptr;
    // A warning is a name the locale cannot show, which the UTF-8 or raw
    // form still gives.
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) throw restore_refused(library_error(a_.get(), "a damaged archive"));
    return e;
  }

  // The current file's bytes, a bounded piece at a time, whatever size its
  // header claims: an archive cut off or damaged is refused when the bytes
  // run out, before the memory does.
  template <class Sink>
  void read_data(archive_entry* e, Sink&& sink) {
    const auto size = archive_entry_size(e);
    la_int64_t read = 0;
    for (;;) {
      auto n = archive_read_data(a_.get(), chunk_.data(), chunk_.size());
      if (n < 0) throw restore_refused(library_error(a_.get(), "a damaged archive at " + raw_name(e)));
      if (n == 0) break;
      read += n;
      sink(std::string_view(chunk_.data(), static_cast<std::size_t>(n)));
    }
    if (read != size) throw restore_refused("a damaged archive at " + raw_name(e));
  }

  static std::string raw_name(archive_entry* e) {
    const char* utf8 = archive_entry_pathname_utf8(e);
    const char* raw = archive_entry_pathname(e);
    return utf8 ? utf8 : raw ? raw : "";
  }

 private:
  archive_ptr a_;
  std::vector<char> chunk_ = std::vector<char>(restore_chunk);
};

// Every entry by its checked name, after every check that needs no
// writing: names, types, sizes, and every file's bytes read to their end.
std::map<std::string, restored_entry> read_archive(std::string_view archive_bytes, const fs::path& root) {
  archive_reader reader(archive_bytes);
  std::map<std::string, restored_entry> entries;
  std::size_t total = 0;
  while (archive_entry* e = reader.next()) {
    const std::string raw = archive_reader::raw_name(e);
    auto name = checked_name(raw);
    if (!name) throw restore_refused("a path that leaves the data directory: " + raw);
    if (name->empty()) continue;  // the directory itself, as "./"
    // File names on disk are UTF-8, and the server reads them as such.
    if (!is_valid_utf8(*name)) throw restore_refused("a name that is not UTF-8: " + raw);
    const auto type = archive_entry_filetype(e);
    if (archive_entry_hardlink(e) || archive_entry_symlink(e) || (type != AE_IFREG && type != AE_IFDIR)) {
      throw restore_refused("not a plain file or folder: " + raw);
    }
    if (*name == lock_file_name) throw restore_refused("not a data file: " + raw);
    restored_entry entry;
    entry.folder = type == AE_IFDIR;
    if (!fits_on_disk(root, *name, entry.folder)) throw restore_refused("a name too long for the file system: " + raw);
    // Execute bits are no part of a data file; the owner may always write.
    entry.permissions = entry.folder ? 0755 : (archive_entry_perm(e) & 0666) | 0600;
    if (!entry.folder) {
      const auto size = archive_entry_size(e);
      if (size < 0 || static_cast<std::size_t>(size) > max_restored_bytes - total) {
        throw restore_refused("the archive unpacks to more than " + std::to_string(max_restored_bytes) + " bytes");
      }
      reader.read_data(e, [](std::string_view) {});
      total += static_cast<std::size_t>(size);
    }
    if (!entries.emplace(*name, entry).second) throw restore_refused("a path given twice: " + raw);
  }
  if (std::ranges::none_of(entries, [](const auto& e) { return !e.second.folder; })) {
    throw restore_refused("the archive holds no files");
  }
  return entries;
}

// Each entry's folders must be folders, in the archive and on disk, and
// nothing on the way may be a link out of the directory.
void check_against(const std::map<std::string, restored_entry>& entries, const fs::path& root) {
  for (const auto& [name, entry] : entries) {
    fs::path relative;
    for (const auto& part : fs::path(name)) {
      relative /= part;
      const bool last = relative == fs::path(name);
      auto in_archive = entries.find(relative.string());
      const bool wants_folder = !last || entry.folder;
      if (in_archive != entries.end() && in_archive->second.folder != wants_folder) {
        throw restore_refused("a file where a folder is needed: " + relative.string());
      }
      std::error_code ec;
      auto status = fs::symlink_status(root / relative, ec);
      if (ec || status.type() == fs::file_type::not_found) continue;
      // A link itself is replaced by the rename, never followed.
      if (last && !entry.folder && status.type() != fs::file_type::directory) continue;
      if (wants_folder != (status.type() == fs::file_type::directory)) {
        throw restore_refused("in the way on disk: " + (root / relative).string());
      }
    }
  }
}

std::optional<std::pair<uid_t, gid_t>> owner_to_hand_over_to(const fs::path& root) {
  struct stat st {};
  if (::geteuid() != 0 || ::stat(root.c_str(), &st) != 0 || st.st_uid == 0) return std::nullopt;
  return std::pair{st.st_uid, st.st_gid};
}

// What a restore has written before its files take their places: the
// folders it made and every file staged beside its target. Until commit()
// the directory holds nothing else of the restore, and destroying the
// staging takes that away again.
class restore_staging {
 public:
  restore_staging(fs::path root, std::optional<std::pair<uid_t, gid_t>> owner)
      : root_(std::move(root)), owner_(owner) {}
  ~restore_staging() {
    files_.clear();
    // Newest first, so a folder is empty when its turn comes.
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      std::error_code ignored;
      fs::remove(*it, ignored);
    }
  }
  restore_staging(const restore_staging&) = delete;
  restore_staging& operator=(const restore_staging&) = delete;

  // Makes the folders of `relative` that are missing, each handed to the
  // owner when there is one.
  void make_folders(const fs::path& relative) {
    fs::path path = root_;
    for (const auto& part : relative) {
      path /= part;
      std::error_code ec;
      if (!fs::create_directory(path, ec)) {
        if (ec) throw data_file_error(ec, path, "cannot create");
        continue;
      }
      made_.push_back(path);
      if (owner_ && ::lchown(path.c_str(), owner_->first, owner_->second) != 0) {
        throw data_file_error({errno, std::generic_category()}, path, "cannot hand over");
      }
    }
  }

  // A new file for `relative`, written and synced by the caller.
  staged_file& stage(const fs::path& relative, mode_t permissions) {
    make_folders(relative.parent_path());
    files_.push_back(std::make_unique<staged_file>(
        root_ / relative, file_attributes{.permissions = permissions, .owner = owner_, .keep_existing = false}));
    return *files_.back();
  }

  // Every staged file into its place; returns how many.
  std::size_t commit() {
    for (auto& file : files_) file->commit();
    made_.clear();
    return files_.size();
  }

 private:
  fs::path root_;
  std::optional<std::pair<uid_t, gid_t>> owner_;
  std::vector<fs::path> made_;
  std::vector<std::unique_ptr<staged_file>> files_;
};

}  // namespace

std::string build_backup_archive(const fs::path& data_dir, const backup_options& options) {
  std::vector<std::pair<std::string, fs::path>> found;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(data_dir, ec), end; it != end; it.increment(ec)) {
    if (ec) break;
    std::error_code entry_ec;
    const bool folder = it->is_directory(entry_ec) && !it->is_symlink(entry_ec);
    if (!folder && (it->is_symlink(entry_ec) || !it->is_regular_file(entry_ec))) continue;
    auto relative = it->path().lexically_relative(data_dir);
    if (!folder && is_left_out(it->path(), relative, options)) continue;
    found.emplace_back(relative.generic_string(), it->path());
  }
  if (ec) throw data_file_error(ec, data_dir, "cannot list");
  // Sorted, so a folder comes before what it holds and equal trees give
  // equal archives apart from the dates.
  std::ranges::sort(found);
  archive_writer writer;
  for (const auto& [name, file] : found) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;  // purged since the listing
      throw data_file_error({errno, std::generic_category()}, file, "cannot read");
    }
    if (S_ISDIR(st.st_mode)) {
      writer.add_folder(name, st);
      continue;
    }
    // Read whole before its header is written: the size given is the size read.
    auto bytes = read_file(file);
    if (!bytes || is_program(*bytes)) continue;
    writer.add_file(name, st, *bytes);
  }
  return writer.finish();
}

std::size_t restore_backup_archive(std::string_view archive_bytes, const fs::path& data_dir) {
  const auto entries = read_archive(archive_bytes, data_dir);
  check_against(entries, data_dir);
  // All or nothing: every file is written and synced under its temporary
  // name first, and only then do they all take their places.
  restore_staging staging(data_dir, owner_to_hand_over_to(data_dir));
  archive_reader reader(archive_bytes);
  while (archive_entry* e = reader.next()) {
    auto name = checked_name(archive_reader::raw_name(e));
    if (!name || name->empty()) continue;
    const auto& entry = entries.at(*name);
    if (entry.folder) {
      staging.make_folders(*name);
      continue;
    }
    staged_file& file = staging.stage(*name, entry.permissions);
    reader.read_data(e, [&](std::string_view bytes) { file.write(bytes); });
    file.finish();
  }
  return staging.commit();
}

}  // namespace velmira
