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

// The document as paragraphs of runs of one style, as a page shows it.
struct styled_run {
  std::string text;  // Windows-1251, no line breaks
  char_style style;

  friend bool operator==(const styled_run&, const styled_run&) = default;
};

struct calendar_paragraph {
  paragraph_alignment alignment = paragraph_alignment::left;
  std::vector<styled_run> runs;

  friend bool operator==(const calendar_paragraph&, const calendar_paragraph&) = default;
};

// Always at least one paragraph; adjacent characters of one style share a
// run. The break characters themselves are not part of any run.
std::vector<calendar_paragraph> paragraphs_of(const calendar_document& document);
// The paragraphs joined by CR breaks, each break styled like the character
// before it (as typing Enter there would) and aligned with the paragraph it
// ends. A line break inside a run's text ends its paragraph too; other
// control characters but tab are dropped.
calendar_document document_of(const std::vector<calendar_paragraph>& paragraphs);

// The one-line tag markup of kalendgraf.ini: "<b>", "<i>", "<u>" and their
// closings around styled runs, "<c>" … "</c>" around runs of centred
// paragraphs, "<br>" for every line break but one at position 0. Each style
// is tracked on its own, so runs may overlap without nesting; text is copied
// unescaped.
std::string PreobrRichEdit(const calendar_document& document);

}  // namespace velmira
