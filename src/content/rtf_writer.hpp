#pragma once
// kalendgraf.rtf as the calendar editor writes it: Rich Text Format in code
// page 1251 with one font, bold, italic, underline and paragraph alignment.
//
// The output is 7-bit ASCII and never holds "|" or "^" (they are written as
// \'7c and \'5e), so the file crosses the administration channel, whose
// messages end lines with "|" and the payload with "^", unchanged. Every line
// break becomes \par and reads back as CR; characters below 0x20 other than
// tab and the line breaks are not document text and are left out.
#include <string>

#include "content/calendar_document.hpp"

namespace velmira {

std::string write_rtf(const calendar_document& document);

}  // namespace velmira
