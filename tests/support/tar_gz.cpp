#include "support/tar_gz.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <sys/sysmacros.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace velmira::testing {

namespace {

using archive_ptr = std::unique_ptr<archive, decltype(&archive_free)>;

la_ssize_t append(archive*, void* out, const void* bytes, size_t size) {
  static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), size);
  return static_cast<la_ssize_t>(size);
}

void each_entry(std::string_view bytes, const std::function<void(archive*, archive_entry*)>& visit) {
  archive_ptr a(archive_read_new(), archive_free);
  archive_read_support_filter_gzip(a.get());
  archive_read_support_format_tar(a.get());
  if (archive_read_open_memory(a.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
    throw std::runtime_error("not a .tar.gz");
  }
  archive_entry* e = nullptr;
  int r = 0;
  while ((r = archive_read_next_header(a.get(), &e)) == ARCHIVE_OK || r == ARCHIVE_WARN) visit(a.get(), e);
  if (r != ARCHIVE_EOF) throw std::runtime_error(archive_error_string(a.get()));
}

void write_entry(archive* a, const tar_entry& t) {
  std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
  archive_entry_set_pathname(e.get(), t.name.c_str());
  archive_entry_set_perm(e.get(), t.mode);
  switch (t.type) {
    case tar_entry::file:
      archive_entry_set_filetype(e.get(), AE_IFREG);
      archive_entry_set_size(e.get(), static_cast<la_int64_t>(t.bytes.size()));
      break;
    case tar_entry::folder:
      archive_entry_set_filetype(e.get(), AE_IFDIR);
      break;
    case tar_entry::symlink:
      archive_entry_set_filetype(e.get(), AE_IFLNK);
      archive_entry_set_symlink_utf8(e.get(), t.target.c_str());
      break;
    case tar_entry::hardlink:
      archive_entry_set_filetype(e.get(), AE_IFREG);
      archive_entry_set_hardlink_utf8(e.get(), t.target.c_str());
      break;
    case tar_entry::char_device:
      archive_entry_set_filetype(e.get(), AE_IFCHR);
      archive_entry_set_rdev(e.get(), makedev(1, 3));
      break;
    case tar_entry::fifo:
      archive_entry_set_filetype(e.get(), AE_IFIFO);
      break;
  }
  if (archive_write_header(a, e.get()) != ARCHIVE_OK) throw std::runtime_error(archive_error_string(a));
  if (!t.bytes.empty()) archive_write_data(a, t.bytes.data(), t.bytes.size());
}

std::string gzipped(std::string_view bytes) {
  std::string out;
  archive_ptr a(archive_write_new(), archive_free);
  archive_write_add_filter_gzip(a.get());
  archive_write_set_format_raw(a.get());
  archive_write_set_bytes_in_last_block(a.get(), 1);
  archive_write_open(a.get(), &out, nullptr, append, nullptr);
  std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
  archive_entry_set_filetype(e.get(), AE_IFREG);
  if (archive_write_header(a.get(), e.get()) != ARCHIVE_OK ||
      archive_write_data(a.get(), bytes.data(), bytes.size()) != static_cast<la_ssize_t>(bytes.size()) ||
      archive_write_close(a.get()) != ARCHIVE_OK) {
    throw std::runtime_error(archive_error_string(a.get()));
  }
  return out;
}

}  // namespace

std::string make_tar_gz(const std::vector<tar_entry>& entries) {
  std::string out;
  archive_ptr a(archive_write_new(), archive_free);
  archive_write_add_filter_gzip(a.get());
  archive_write_set_format_gnutar(a.get());
  archive_write_open(a.get(), &out, nullptr, append, nullptr);
  for (const auto& t : entries) write_entry(a.get(), t);
  if (archive_write_close(a.get()) != ARCHIVE_OK) throw std::runtime_error(archive_error_string(a.get()));
  return out;
}

std::string make_cut_off_tar_gz(const std::vector<tar_entry>& entries, const std::string& name,
                                std::int64_t claimed_size) {
  // Unblocked, so every header is in `tar` once written; the write is then
  // abandoned, or closing would pad the last file out to its claimed size.
  std::string tar;
  archive_ptr a(archive_write_new(), archive_free);
  archive_write_set_format_gnutar(a.get());
  archive_write_set_bytes_per_block(a.get(), 0);
  archive_write_open(a.get(), &tar, nullptr, append, nullptr);
  for (const auto& t : entries) write_entry(a.get(), t);
  std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
  archive_entry_set_pathname(e.get(), name.c_str());
  archive_entry_set_filetype(e.get(), AE_IFREG);
  archive_entry_set_perm(e.get(), 0644);
  archive_entry_set_size(e.get(), claimed_size);
  if (archive_write_header(a.get(), e.get()) != ARCHIVE_OK) throw std::runtime_error(archive_error_string(a.get()));
  archive_write_fail(a.get());
  return gzipped(tar);
}

std::map<std::string, std::string> tar_gz_contents(std::string_view bytes) {
  std::map<std::string, std::string> contents;
  each_entry(bytes, [&](archive* a, archive_entry* e) {
    std::string name = archive_entry_pathname(e);
    // The tar format marks a folder's name with a final "/".
    if (name.ends_with('/')) name.pop_back();
    if (archive_entry_filetype(e) == AE_IFDIR) {
      contents[name] = "<folder>";
    } else if (archive_entry_filetype(e) == AE_IFREG && !archive_entry_hardlink(e)) {
      std::string data(static_cast<std::size_t>(archive_entry_size(e)), '\0');
      archive_read_data(a, data.data(), data.size());
      contents[name] = data;
    } else {
      contents[name] = "<other>";
    }
  });
  return contents;
}

}  // namespace velmira::testing
