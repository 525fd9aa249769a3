#pragma once
// Reads Rich Text Format into the calendar document: what the calendar
// editor's own writer produces and what Windows rich edit controls and word
// processors commonly write.
//
// Kept: text, \'hh as a Windows-1251 byte, \uN (with \ucN fallback
// characters skipped) converted to Windows-1251 ("?" when it has no such
// character), \b \i \ul and their variants and negations, \plain, the
// alignments \ql \qc \qr \qj of \pard paragraphs, \par, \line and \tab.
// Font, colour and style tables, document information, pictures, objects
// and every \* destination are skipped. A paragraph's alignment is the one in
// effect at its \par, as RTF defines it; the paragraph mark that ends the
// document is dropped, as a rich edit control does.
//
// Input that does not begin with "{\rtf" is taken as plain Windows-1251 text.
// Any input is read to the end or to the close of the outermost group
// without throwing; groups nested deeper than max_rtf_group_depth are
// skipped with their content, so memory stays proportional to the input.
#include <cstddef>
#include <string_view>

#include "content/calendar_document.hpp"

namespace velmira {

inline constexpr std::size_t max_rtf_group_depth = 100;

calendar_document read_rtf(std::string_view rtf);

}  // namespace velmira
