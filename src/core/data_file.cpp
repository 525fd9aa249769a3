#include "core/data_file.hpp"

#include "core/unique_fd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

namespace velmira {

data_file_error::data_file_error(std::error_code ec, const fs::path& path, const char* what)
    : std::system_error(ec, std::string(what) + " " + path.string()), path_(path) {}

namespace {

std::error_code last_error() { return {errno, std::generic_category()}; }

}  // namespace

void write_all(int fd, std::string_view bytes, const fs::path& path) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw data_file_error(last_error(), path, "cannot write");
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

void sync_folder(const fs::path& folder) {
  unique_fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

std::optional<std::string> read_file(const fs::path& path) {
  unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw data_file_error(last_error(), path, "cannot open");
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw data_file_error(last_error(), path, "cannot read");
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::vector<std::string> lines_up_to_empty(std::vector<std::string> lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) {
      lines.resize(i);
      break;
    }
  }
  return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

namespace {

constexpr std::string_view temporary_suffix = ".XXXXXX";  // mkostemp's pattern

std::string temporary_name_of(std::string_view name) {
  return "." + std::string(name) + std::string(temporary_suffix);
}

// The bits and owner of the file a rewrite replaces; a link is replaced
// itself, so it lends nothing.
file_attributes kept_from(const fs::path& path, file_attributes attributes) {
  struct stat st {};
  if (!attributes.keep_existing || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return attributes;
  attributes.permissions = st.st_mode & 07777;
  if (::geteuid() == 0) attributes.owner = std::pair{st.st_uid, st.st_gid};
  return attributes;
}

int create_temporary(const fs::path& path, fs::path& temporary) {
  std::string pattern = (path.parent_path() / temporary_name_of(path.filename().string())).string();
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) throw data_file_error(last_error(), path, "cannot create");
  temporary = pattern;
  return fd;
}

}  // namespace

staged_file::staged_file(fs::path path, const file_attributes& attributes)
    : path_(std::move(path)), attributes_(kept_from(path_, attributes)), fd_(create_temporary(path_, temporary_)) {}

staged_file::~staged_file() {
  if (!committed_) ::unlink(temporary_.c_str());
}

void staged_file::write(std::string_view bytes) { write_all(fd_.get(), bytes, path_); }

void staged_file::finish() {
  if (::fsync(fd_.get()) != 0) throw data_file_error(last_error(), path_, "cannot sync");
  // mkstemp's permissions are owner-only until these are given.
  ::fchmod(fd_.get(), attributes_.permissions);
  if (attributes_.owner && ::fchown(fd_.get(), attributes_.owner->first, attributes_.owner->second) != 0) {
    throw data_file_error(last_error(), path_, "cannot hand over");
  }
  if (fd_.close() != 0) throw data_file_error(last_error(), path_, "cannot close");
}

void staged_file::commit() {
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) throw data_file_error(last_error(), path_, "cannot replace");
  committed_ = true;
  sync_folder(path_.parent_path());
}

void replace_file_atomically(const fs::path& path, std::string_view bytes, const file_attributes& attributes) {
  staged_file file(path, attributes);
  file.write(bytes);
  file.finish();
  file.commit();
}

std::size_t longest_file_name(const fs::path& folder) {
  for (fs::path at = folder.empty() ? fs::path(".") : folder;; at = at.parent_path()) {
    errno = 0;
    const long longest = ::pathconf(at.c_str(), _PC_NAME_MAX);
    if (longest > 0) return static_cast<std::size_t>(longest);
    // No limit given, or no folder left to ask: the usual limit.
    if (errno != ENOENT || !at.has_relative_path() || !at.has_parent_path()) return NAME_MAX;
  }
}

bool fits_with_its_temporary_name(const fs::path& folder, std::string_view name) {
  return temporary_name_of(name).size() <= longest_file_name(folder);
}

bool replace_file_if_changed(const fs::path& path, std::string_view bytes) {
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  if (!ec && size == bytes.size() && read_file(path) == bytes) return false;
  replace_file_atomically(path, bytes);
  return true;
}

namespace {

constexpr std::size_t temporary_suffix_length = temporary_suffix.size() - 1;  // after its dot

bool is_temporary_suffix_character(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

bool is_interrupted_write_name(std::string_view name) {
  constexpr std::size_t shortest = 1 + 1 + 1 + temporary_suffix_length;
  if (name.size() < shortest || name.front() != '.') return false;
  auto suffix = name.substr(name.size() - temporary_suffix_length);
  return name[name.size() - temporary_suffix_length - 1] == '.' &&
         std::all_of(suffix.begin(), suffix.end(), is_temporary_suffix_character);
}

std::size_t remove_interrupted_writes(const fs::path& root) {
  std::size_t removed = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code entry_ec;
    if (it->is_symlink(entry_ec) || !it->is_regular_file(entry_ec)) continue;
    if (!is_interrupted_write_name(it->path().filename().string())) continue;
    if (fs::remove(it->path(), entry_ec)) ++removed;
  }
  return removed;
}

std::optional<std::vector<std::string>> read_lines(const fs::path& path) {
  auto bytes = read_file(path);
  if (!bytes) return std::nullopt;
  return split_lines(*bytes);
}

}  // namespace velmira
