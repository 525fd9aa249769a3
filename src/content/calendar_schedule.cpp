#include "content/calendar_schedule.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "content/rtf_reader.hpp"
#include "content/rtf_writer.hpp"
#include "core/data_file.hpp"

namespace velmira {
namespace {

// What the editor takes from typed or pasted text: one CR per line break,
// whatever the sender's convention, and no control characters but tab.
std::string editor_text(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      result += '\r';
    } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
      result += c;
    }
  }
  return result;
}

bool last_paragraph_empty(const calendar_document& document) {
  return document.empty() || document.back().is_line_break();
}

}  // namespace

calendar_schedule::calendar_schedule(const data_directory& data, const settings_page& page)
    : data_(data), page_(page) {}

void calendar_schedule::select(std::size_t start, std::size_t length) {
  selection_start_ = std::min(start, document_.size());
  selection_length_ = std::min(length, document_.size() - selection_start_);
  if (selection_length_ > 0) {
    typing_style_ = document_[selection_start_].style;
  } else if (selection_start_ > 0) {
    typing_style_ = document_[selection_start_ - 1].style;
  } else if (!document_.empty()) {
    typing_style_ = document_.front().style;
  } else {
    typing_style_ = {};
  }
}

paragraph_alignment calendar_schedule::alignment_at(std::size_t at) const {
  if (at < document_.size()) return document_[at].alignment;
  if (at > 0 && !document_[at - 1].is_line_break()) return document_[at - 1].alignment;
  return empty_last_paragraph_alignment_;
}

void calendar_schedule::replace_selection(std::string_view text) {
  const std::string typed = editor_text(text);
  const std::size_t start = selection_start_;
  // The paragraph holding the end of the selection keeps its mark, so the
  // text around the selection joins its alignment.
  const paragraph_alignment alignment = alignment_at(start + selection_length_);
  auto at = document_.begin() + static_cast<std::ptrdiff_t>(start);
  at = document_.erase(at, at + static_cast<std::ptrdiff_t>(selection_length_));
  calendar_document inserted;
  for (char c : typed) inserted.push_back({.ch = c, .style = typing_style_, .alignment = alignment});
  document_.insert(at, inserted.begin(), inserted.end());

  const std::size_t end = start + inserted.size();
  for (std::size_t i = paragraph_begin(document_, start); i < paragraph_end(document_, end); ++i) {
    document_[i].alignment = alignment;
  }
  if (end == document_.size() && last_paragraph_empty(document_)) {
    empty_last_paragraph_alignment_ = alignment;
  }
  selection_start_ = end;
  selection_length_ = 0;
}

void calendar_schedule::toggle(style_flag flag) {
  if (selection_length_ == 0) {
    typing_style_.*flag = !(typing_style_.*flag);
    return;
  }
  // The editor reports a mixed selection's style from its first character.
  const bool on = !(document_[selection_start_].style.*flag);
  for (std::size_t i = selection_start_; i < selection_start_ + selection_length_; ++i) {
    document_[i].style.*flag = on;
  }
  typing_style_.*flag = on;
}

void calendar_schedule::SpeedButton9Click() { toggle(&char_style::bold); }
void calendar_schedule::SpeedButton11Click() { toggle(&char_style::italic); }
void calendar_schedule::SpeedButton12Click() { toggle(&char_style::underline); }
void calendar_schedule::SpeedButton13Click() { align(paragraph_alignment::left); }
void calendar_schedule::SpeedButton14Click() { align(paragraph_alignment::centre); }

void calendar_schedule::align(paragraph_alignment alignment) {
  const std::size_t begin = paragraph_begin(document_, selection_start_);
  select(begin, 0);
  const std::size_t end = paragraph_end(document_, begin);
  for (std::size_t i = begin; i < end; ++i) document_[i].alignment = alignment;
  if (begin == document_.size()) empty_last_paragraph_alignment_ = alignment;
}

void calendar_schedule::KalendarGrafSave(std::string_view dop) const {
  if (!page_.calendar_on) return;
  const std::string prefix(dop);
  const std::string rtf = write_rtf(document_);
  const std::string markup = PreobrRichEdit(document_);
  replace_file_atomically(data_.file(prefix + "kalendgraf.rtf"), rtf);
  write_lines(data_.file(prefix + "kalendgraf.ini"), {markup});
}

void calendar_schedule::load(const std::filesystem::path& rtf) {
  auto bytes = read_file(rtf);
  replace_document(bytes ? read_rtf(*bytes) : calendar_document{});
}

void calendar_schedule::clear() { replace_document({}); }

void calendar_schedule::replace_document(calendar_document document) {
  document_ = std::move(document);
  empty_last_paragraph_alignment_ = paragraph_alignment::left;
  select(0, 0);
}

}  // namespace velmira
