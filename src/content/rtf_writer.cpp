#include "content/rtf_writer.hpp"

#include <string_view>

namespace velmira {
namespace {

class rtf_builder {
 public:
  rtf_builder() {
    out_ = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049"
           "{\\fonttbl{\\f0\\fnil\\fcharset204 Tahoma;}}\r\n";
    control("viewkind4");
    control("uc1");
    control("f0");
    control("fs20");
  }

  void paragraph(const calendar_document& document, std::size_t begin, std::size_t end,
                 bool last) {
    control("pard");
    if (begin < end) alignment(document[begin].alignment);
    for (std::size_t i = begin; i < end; ++i) character(document[i]);
    // The final paragraph mark: readers drop it, as a rich edit control does.
    if (last) paragraph_mark();
  }

  std::string finish() && {
    out_ += "}\r\n";
    return std::move(out_);
  }

 private:
  void control(std::string_view word) {
    out_ += '\\';
    out_ += word;
    needs_delimiter_ = true;
  }

  void paragraph_mark() {
    control("par");
    // A line end delimits the control word and keeps the file readable.
    out_ += "\r\n";
    needs_delimiter_ = false;
  }

  void alignment(paragraph_alignment value) {
    switch (value) {
      case paragraph_alignment::left: break;
      case paragraph_alignment::centre: control("qc"); break;
      case paragraph_alignment::right: control("qr"); break;
      case paragraph_alignment::justify: control("qj"); break;
    }
  }

  void style(const char_style& wanted) {
    if (wanted.bold != style_.bold) control(wanted.bold ? "b" : "b0");
    if (wanted.italic != style_.italic) control(wanted.italic ? "i" : "i0");
    if (wanted.underline != style_.underline) control(wanted.underline ? "ul" : "ulnone");
    style_ = wanted;
  }

  void character(const styled_char& c) {
    style(c.style);
    if (c.is_line_break()) {
      paragraph_mark();
    } else if (c.ch == '\t') {
      control("tab");
    } else {
      text(c.ch);
    }
  }

  void text(char c) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) return;
    if (c == '\\' || c == '{' || c == '}') {
      out_ += '\\';
      out_ += c;
    } else if (byte >= 0x7F || c == '|' || c == '^') {
      hex_escape(byte);
    } else {
      if (needs_delimiter_) out_ += ' ';
      out_ += c;
    }
    needs_delimiter_ = false;
  }

  void hex_escape(unsigned char byte) {
    static constexpr char digits[] = "0123456789abcdef";
    out_ += "\\'";
    out_ += digits[byte >> 4];
    out_ += digits[byte & 0xF];
  }

  std::string out_;
  char_style style_;
  bool needs_delimiter_ = false;
};

bool ends_with_line_break(const calendar_document& document, std::size_t begin, std::size_t end) {
  return end > begin && document[end - 1].is_line_break();
}

}  // namespace

std::string write_rtf(const calendar_document& document) {
  rtf_builder rtf;
  std::size_t begin = 0;
  for (;;) {
    std::size_t end = paragraph_end(document, begin);
    // After a final line break comes one more, empty, paragraph.
    bool last = end == document.size() && !ends_with_line_break(document, begin, end);
    rtf.paragraph(document, begin, end, last);
    if (last) break;
    begin = end;
  }
  return std::move(rtf).finish();
}

}  // namespace velmira
