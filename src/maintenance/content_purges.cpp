#include "maintenance/content_purges.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <system_error>

#include "core/data_file.hpp"
#include "core/fields.hpp"
#include "core/separators.hpp"
#include "core/text_codec.hpp"
#include "maintenance/date_reading.hpp"

namespace velmira {

namespace {


fs::path folder_file(const data_directory& data, std::string_view folder, std::string_view name) {
  return data.file(std::string(folder) + "\\" + std::string(name));
}

bool keeps(const record_keep_rule& rule, std::chrono::local_days date, std::string_view line) {
  return date >= rule.oldest_kept && (!rule.needs_dot || line.find('.') != std::string_view::npos);
}

// The purge has always worked by filling data_tmp.ini, deleting data.ini and
// renaming the first over the second only when something stayed; clients and
// the operator know what that leaves behind. The rewrite itself is atomic.
void store_kept(const data_directory& data, std::string_view folder, const std::vector<std::string>& kept) {
  auto data_ini = folder_file(data, folder, "data.ini");
  auto data_tmp = folder_file(data, folder, "data_tmp.ini");
  std::error_code ignored;  // a file that cannot be deleted is left in place
  if (kept.empty()) {
    replace_file_atomically(data_tmp, "");
    fs::remove(data_ini, ignored);
  } else {
    write_lines(data_ini, kept);
    fs::remove(data_tmp, ignored);
  }
}

// The day, month and year of a published file's name: the name before its
// first "ini", each part up to the next ".".
std::optional<std::array<std::string_view, 3>> date_parts(std::string_view name) {
  auto rest = name.substr(0, name.find("ini"));
  std::array<std::string_view, 3> parts;
  for (auto& part : parts) {
    part = cut_field(rest, '.');
    if (part.empty()) return std::nullopt;
  }
  return parts;
}

}  // namespace

purge_outcome purge_records(const data_directory& data, std::string_view folder, const record_keep_rule& rule) {
  purge_outcome outcome;
  auto lines = read_lines(folder_file(data, folder, "data.ini"));
  if (!lines) return outcome;

  auto records = lines_up_to_empty(std::move(*lines));
  std::vector<std::string> kept;
  for (auto& record : records) {
    std::string_view rest = record;
    auto date_field = cut_field(rest, simv);
    auto date = read_short_date(date_field);
    if (!date) outcome.unreadable_utf8.push_back(to_utf8(date_field));
    if (!date || keeps(rule, *date, record)) kept.push_back(std::move(record));
  }
  outcome.removed = kept.size() != records.size();
  store_kept(data, folder, kept);
  return outcome;
}

purge_outcome purge_dated_files(const fs::path& folder, std::chrono::local_days oldest_kept,
                                bool with_date_folders) {
  purge_outcome outcome;
  for (const auto& name : GetAllFiles(folder)) {
    auto parts = date_parts(name);
    if (!parts) continue;
    auto date = read_date((*parts)[0], (*parts)[1], (*parts)[2]);
    if (!date) {
      outcome.unreadable_utf8.push_back(name);
      continue;
    }
    if (*date >= oldest_kept) continue;
    std::error_code ec;
    // False as well when the file went since the listing.
    if (!fs::remove(folder / name, ec)) continue;
    outcome.removed = true;
    if (with_date_folders) DelDir(folder / name.substr(0, name.find(".ini")));
  }
  return outcome;
}

std::vector<std::string> GetAllFiles(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec)) {
    std::error_code type_ec;
    if (!entry->is_regular_file(type_ec)) continue;
    auto name = entry->path().filename().string();
    if (name.find(".ini") == std::string::npos || name == "error.ini" || name == "info.ini") continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool DelDir(const fs::path& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  return !ec;
}

}  // namespace velmira
