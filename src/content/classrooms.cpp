#include "content/classrooms.hpp"

#include "core/data_file.hpp"
#include "core/fields.hpp"

namespace velmira {

namespace {

// The error page a master serves for a missing file reaches remote\ by a
// pull exactly like a list would.
constexpr std::string_view html_page_marker = "<!DOCTYPE html>";

std::string classrooms_path(std::string_view dop) { return std::string(dop) + "kab.ini"; }

std::string_view without_trailing_spaces(std::string_view line) {
  auto last = line.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view() : line.substr(0, last + 1);
}

}  // namespace

std::vector<std::string> parse_classrooms(std::string_view file_text) {
  auto lines = split_lines(file_text);
  if (lines.empty() || lines.front().find(html_page_marker) != std::string::npos) return {};
  std::vector<std::string> names;
  std::string_view rest = lines.front();
  while (rest.find('/') != std::string_view::npos) names.emplace_back(cut_field(rest, '/'));
  return names;
}

std::string format_classrooms(const std::vector<std::string>& lines) {
  std::string joined;
  for (const auto& line : lines) {
    auto name = without_trailing_spaces(line);
    if (name.empty()) continue;
    joined += name;
    joined += '/';
  }
  return joined.empty() ? std::string() : join_lines({joined});
}

void classrooms::set_text(std::string_view text) { lines_ = split_lines(text); }

std::optional<std::string> classrooms::save_refusal() const {
  for (const auto& line : lines_) {
    // The channel ends a file's line at "|" and its message at "^".
    if (line.find_first_of("|^") != std::string::npos) {
      return "Название кабинета не может содержать символы \"|\" и \"^\"";
    }
  }
  return std::nullopt;
}

void classrooms::KabLoad(std::string_view dop) {
  lines_.clear();
  if (auto text = read_file(data_.file(classrooms_path(dop)))) lines_ = parse_classrooms(*text);
}

void classrooms::KabSave(std::string_view dop) const {
  replace_file_atomically(data_.file(classrooms_path(dop)), format_classrooms(lines_));
}

}  // namespace velmira
