#pragma once
// The calendar schedule as the rich text editor holds it: a plain list of
// Windows-1251 characters, each with its three style flags and the alignment
// of the paragraph it belongs to. A line break is one character of the list
// (CR, or LF) and belongs to the paragraph it ends; the paragraph after the
// last break has no break character.
//
// Every character of a paragraph carries the same alignment; the editor and
// the RTF reader keep it so, and the RTF writer takes a paragraph's
// alignment from its first character.
#include <cstddef>
#include <string>
#include <vector>

namespace velmira {

enum class paragraph_alignment { left, centre, right, justify };

struct char_style {
  bool bold = false;
  bool italic = false;
  bool underline = false;

  friend bool operator==(const char_style&, const char_style&) = default;
};

struct styled_char {
  char ch = 0;
  char_style style;
  paragraph_alignment alignment = paragraph_alignment::left;

  bool is_line_break() const { return ch == '\r' || ch == '\n'; }
  bool centred() const { return alignment == paragraph_alignment::centre; }

  friend bool operator==(const styled_char&, const styled_char&) = default;
};

using calendar_document = std::vector<styled_char>;

// The first position of the paragraph that holds position `at`
// (0 <= at <= size): just after the nearest line break before `at`.
std::size_t paragraph_begin(const calendar_document& document, std::size_t at);
// One past the line break that ends the paragraph holding position `at`, or
// the size of the document for the last paragraph.
std::size_t paragraph_end(const calendar_document& document, std::size_t at);

// The one-line tag markup of kalendgraf.ini: "<b>", "<i>", "<u>" and their
// closings around styled runs, "<c>" … "</c>" around runs of centred
// paragraphs, "<br>" for every line break but one at position 0. Each style
// is tracked on its own, so runs may overlap without nesting; text is copied
// unescaped.
std::string PreobrRichEdit(const calendar_document& document);

}  // namespace velmira
