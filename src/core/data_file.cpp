#include "core/data_file.hpp"

#include "core/unique_fd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

void replace_file_atomically(const fs::path& path, std::string_view bytes, const file_attributes& attributes) {
  fs::path folder = path.parent_path();
  std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  unique_fd fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (fd.get() < 0) throw data_file_error(last_error(), path, "cannot create");
  fs::path temporary = pattern;
  try {
    write_all(fd.get(), bytes, path);
    if (::fsync(fd.get()) != 0) throw data_file_error(last_error(), path, "cannot sync");
    // New files get the usual permissions; mkstemp's are owner-only.
    ::fchmod(fd.get(), attributes.permissions);
    if (attributes.owner && ::fchown(fd.get(), attributes.owner->first, attributes.owner->second) != 0) {
      throw data_file_error(last_error(), path, "cannot hand over");
    }
    if (::close(fd.release()) != 0) throw data_file_error(last_error(), path, "cannot close");
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      throw data_file_error(last_error(), path, "cannot replace");
    }
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  sync_folder(folder);
}

bool replace_file_if_changed(const fs::path& path, std::string_view bytes) {
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  if (!ec && size == bytes.size() && read_file(path) == bytes) return false;
  replace_file_atomically(path, bytes);
  return true;
}

namespace {

constexpr std::size_t temporary_suffix_length = 6;  // the "XXXXXX" of mkostemp

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
