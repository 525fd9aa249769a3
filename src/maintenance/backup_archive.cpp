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
  std::string bytes;
};

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

std::map<std::string, restored_entry> read_archive(std::string_view archive_bytes) {
  archive_ptr a(archive_read_new());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_format_tar(a.get());
  if (archive_read_open_memory(a.get(), archive_bytes.data(), archive_bytes.size()) != ARCHIVE_OK) {
    throw restore_refused(library_error(a.get(), "not a .tar.gz archive"));
  }
  std::map<std::string, restored_entry> entries;
  std::size_t total = 0;
  archive_entry* e = nullptr;
  for (;;) {
    int r = archive_read_next_header(a.get(), &e);
    if (r == ARCHIVE_EOF) break;
    // A warning is a name the locale cannot show, which the UTF-8 or raw
    // form below still gives.
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) throw restore_refused(library_error(a.get(), "a damaged archive"));
    const char* utf8 = archive_entry_pathname_utf8(e);
    std::string raw = utf8 ? utf8 : archive_entry_pathname(e) ? archive_entry_pathname(e) : "";
    auto name = checked_name(raw);
    if (!name) throw restore_refused("a path that leaves the data directory: " + raw);
    if (name->empty()) continue;  // the directory itself, as "./"
    const auto type = archive_entry_filetype(e);
    if (archive_entry_hardlink(e) || archive_entry_symlink(e) || (type != AE_IFREG && type != AE_IFDIR)) {
      throw restore_refused("not a plain file or folder: " + raw);
    }
    if (*name == lock_file_name) throw restore_refused("not a data file: " + raw);
    restored_entry entry;
    entry.folder = type == AE_IFDIR;
    // Execute bits are no part of a data file; the owner may always write.
    entry.permissions = entry.folder ? 0755 : (archive_entry_perm(e) & 0666) | 0600;
    if (!entry.folder) {
      const auto size = archive_entry_size(e);
      if (size < 0 || static_cast<std::size_t>(size) > max_restored_bytes - total) {
        throw restore_refused("the archive unpacks to more than " + std::to_string(max_restored_bytes) + " bytes");
      }
      entry.bytes.resize(static_cast<std::size_t>(size));
      auto n = archive_read_data(a.get(), entry.bytes.data(), entry.bytes.size());
      if (n != static_cast<la_ssize_t>(size)) throw restore_refused(library_error(a.get(), "a damaged archive at " + raw));
      total += entry.bytes.size();
    }
    if (!entries.emplace(*name, std::move(entry)).second) throw restore_refused("a path given twice: " + raw);
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

// Makes the folders of `relative` under `root` that are missing, each
// handed to `owner` when there is one.
void make_folders(const fs::path& root, const fs::path& relative, const std::optional<std::pair<uid_t, gid_t>>& owner) {
  fs::path path = root;
  for (const auto& part : relative) {
    path /= part;
    std::error_code ec;
    if (!fs::create_directory(path, ec)) {
      if (ec) throw data_file_error(ec, path, "cannot create");
      continue;
    }
    if (owner && ::lchown(path.c_str(), owner->first, owner->second) != 0) {
      throw data_file_error({errno, std::generic_category()}, path, "cannot hand over");
    }
  }
}

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
  const auto entries = read_archive(archive_bytes);
  check_against(entries, data_dir);
  const auto owner = owner_to_hand_over_to(data_dir);
  std::size_t files = 0;
  // Sorted by name: a folder is made before what it holds.
  for (const auto& [name, entry] : entries) {
    const fs::path relative = name;
    if (entry.folder) {
      make_folders(data_dir, relative, owner);
      continue;
    }
    make_folders(data_dir, relative.parent_path(), owner);
    replace_file_atomically(data_dir / relative, entry.bytes, {entry.permissions, owner});
    ++files;
  }
  return files;
}

}  // namespace velmira
