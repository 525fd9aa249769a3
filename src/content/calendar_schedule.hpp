#pragma once
// The calendar schedule's editor on the settings page ("Настройки"): the
// document, the selection, typing and the buttons "Ж", "К", "Ч" and the two
// alignment buttons, and writing kalendgraf.rtf and kalendgraf.ini.
//
// Not thread-safe: the editor is changed and saved on the operator's thread,
// also when an administration upload reloads it.
#include <cstddef>
#include <filesystem>
#include <string_view>

#include "content/calendar_document.hpp"
#include "core/data_directory.hpp"
#include "core/settings_page.hpp"

namespace velmira {

class calendar_schedule {
 public:
  // Both references must outlive the editor; `page` tells whether
  // "Календарный график" is ticked.
  calendar_schedule(const data_directory& data, const settings_page& page);

  const calendar_document& document() const { return document_; }
  std::size_t selection_start() const { return selection_start_; }
  std::size_t selection_length() const { return selection_length_; }

  // Clamped to the document. Text typed next takes the style of the first
  // selected character, or of the character before the caret.
  void select(std::size_t start, std::size_t length);
  // Typing, pasting or deleting (empty text) over the selection; the caret
  // ends after the new text. CR LF, CR and LF each become one CR; other
  // control characters but tab are dropped. New text joins the paragraph it
  // lands in; a paragraph whose break is deleted takes the alignment of the
  // one it merges into, as the surviving paragraph mark carries it.
  void replace_selection(std::string_view text);

  // "Ж", "К", "Ч": when the first selected character has the style (with an
  // empty selection: the style typed next), the whole selection loses it,
  // otherwise gains it.
  void SpeedButton9Click();
  void SpeedButton11Click();
  void SpeedButton12Click();
  // Align left, centre: the caret moves to the start of the line the
  // selection starts on, and that paragraph alone is aligned.
  void SpeedButton13Click();
  void SpeedButton14Click();

  // Writes dop + "kalendgraf.rtf" and dop + "kalendgraf.ini" (the markup of
  // PreobrRichEdit as one line) when "Календарный график" is ticked, and
  // nothing otherwise. Each file is replaced atomically, the RTF file first;
  // throws data_file_error when one cannot be written: a failed RTF file
  // leaves both files as they were, a failed markup file leaves it old.
  void KalendarGrafSave(std::string_view dop) const;

  // Replaces the document with the file's content; a missing file gives an
  // empty document. Throws data_file_error when the file cannot be read, and
  // the document is then unchanged.
  void load(const std::filesystem::path& rtf);
  void clear();
  // The whole document at once, as a page that edits it sends it back.
  void replace_document(calendar_document document);

 private:
  using style_flag = bool char_style::*;

  void toggle(style_flag flag);
  void align(paragraph_alignment alignment);
  paragraph_alignment alignment_at(std::size_t at) const;

  const data_directory& data_;
  const settings_page& page_;
  calendar_document document_;
  std::size_t selection_start_ = 0;
  std::size_t selection_length_ = 0;
  char_style typing_style_;
  // The last paragraph has no character to carry its alignment while it is
  // empty; this keeps it until text is typed there.
  paragraph_alignment empty_last_paragraph_alignment_ = paragraph_alignment::left;
};

}  // namespace velmira
