#include "bells/bell_list.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {

namespace {

constexpr std::size_t header_lines = 6;
const std::string header_separator = "---";

void default_if_empty(std::string& text, const std::string& fallback) {
  if (text.empty()) text = fallback;
}

}  // namespace

void status_texts::fill_defaults() {
  static const std::string lessons_over = from_utf8("Уроки закончились.");
  static const std::string lessons_not_begun = from_utf8("Уроки еще не начались. Ожидайте.");
  default_if_empty(zakonch1, lessons_over);
  default_if_empty(zakonch2, lessons_over);
  default_if_empty(zakonch3, lessons_not_begun);
  default_if_empty(zakonch4, lessons_not_begun);
}

bool schema_list::contains(std::string_view name) const {
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

void schema_list::assign(std::vector<std::string> names) {
  if (names.size() > capacity) names.resize(capacity);
  names_ = std::move(names);
  selected_.reset();
}

bool schema_list::append(std::string name) {
  if (full()) return false;
  names_.push_back(std::move(name));
  return true;
}

void schema_list::exchange(std::size_t a, std::size_t b) {
  check_index(a);
  check_index(b);
  std::swap(names_[a], names_[b]);
}

void schema_list::rename(std::size_t index, std::string name) {
  check_index(index);
  names_[index] = std::move(name);
}

void schema_list::remove(std::size_t index) {
  check_index(index);
  names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(index));
  if (!selected_) return;
  if (*selected_ == index) {
    selected_.reset();
  } else if (*selected_ > index) {
    --*selected_;
  }
}

void schema_list::select(std::size_t index) {
  check_index(index);
  selected_ = index;
}

std::optional<std::string> schema_list::selected_name() const {
  if (!selected_) return std::nullopt;
  return names_[*selected_];
}

void schema_list::check_index(std::size_t index) const {
  if (index >= names_.size()) throw std::out_of_range("schema list index");
}

bell_list_contents parse_bell_list(std::string_view file_text) {
  auto lines = split_lines(file_text);
  lines.resize(header_lines + schema_list::capacity);
  bell_list_contents contents;
  contents.texts = {lines[0], lines[1], lines[3], lines[4]};
  contents.texts.fill_defaults();
  for (std::size_t i = header_lines; i < lines.size(); ++i) {
    if (!lines[i].empty()) contents.names.push_back(std::move(lines[i]));
  }
  return contents;
}

std::string format_bell_list(const status_texts& texts, const std::vector<std::string>& names) {
  std::vector<std::string> lines = {texts.zakonch1, texts.zakonch2, header_separator,
                                    texts.zakonch3, texts.zakonch4, header_separator};
  lines.insert(lines.end(), names.begin(), names.end());
  return join_lines(lines);
}

}  // namespace velmira
