// kalendgraf.rtf as read from disk (a master's upload, a file put there by
// hand), then what the calendar editor does with the document: its markup
// and its own RTF. read_rtf promises never to throw, so nothing is caught.
//
// The editor's RTF must stay 7-bit ASCII without "|" and "^", and must read
// back as the document it was written from, once line breaks are CR and the
// control characters that are not text are gone.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "content/calendar_document.hpp"
#include "content/rtf_reader.hpp"
#include "content/rtf_writer.hpp"
#include "fuzz_support.hpp"

namespace velmira {
namespace {

bool channel_safe(const std::string& rtf) {
  return std::all_of(rtf.begin(), rtf.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x80 && c != '|' && c != '^';
  });
}

// The document as the writer can express it.
calendar_document as_written(calendar_document document) {
  std::erase_if(document, [](const styled_char& c) {
    return static_cast<unsigned char>(c.ch) < 0x20 && c.ch != '\t' && !c.is_line_break();
  });
  for (auto& c : document) {
    if (c.ch == '\n') c.ch = '\r';
  }
  return document;
}

}  // namespace
}  // namespace velmira

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmira;
  calendar_document document = read_rtf(fuzz::as_text(data, size));
  PreobrRichEdit(document);
  std::string rtf = write_rtf(document);
  fuzz::require(channel_safe(rtf), "the editor's RTF holds a byte the administration channel cannot carry");
  fuzz::require(read_rtf(rtf) == as_written(document), "the editor's RTF does not read back as its document");
  return 0;
}
