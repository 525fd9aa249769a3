#include "content/rtf_reader.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {
namespace {

using parameter = std::optional<std::int64_t>;

// Large enough for every real parameter, small enough that arithmetic on it
// cannot overflow.
constexpr std::int64_t max_parameter = 1'000'000'000;

struct group_state {
  char_style style;
  paragraph_alignment alignment = paragraph_alignment::left;
  std::int64_t unicode_fallback = 1;  // \ucN
};

// One control word or control symbol, read whole, including the data of
// \bin and the digits of \'hh.
struct control_token {
  std::string_view word;  // empty for a control symbol
  char symbol = 0;        // 0 also when the input ended after the backslash
  parameter value;
  std::optional<char> byte;  // of \'hh
};

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::optional<int> hex_digit(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

// Code points 0x80 to 0xFFFF, surrogates excepted.
std::string utf8_of(std::uint32_t code_point) {
  std::string utf8;
  if (code_point < 0x800) {
    utf8 += static_cast<char>(0xC0 | (code_point >> 6));
  } else {
    utf8 += static_cast<char>(0xE0 | (code_point >> 12));
    utf8 += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
  }
  utf8 += static_cast<char>(0x80 | (code_point & 0x3F));
  return utf8;
}

// The Windows-1251 character for \uN. Writers give N as a signed 16-bit
// number; characters beyond 16 bits come as a surrogate pair, which stands
// for one character the code page lacks, so one "?" for the pair.
std::optional<char> cp1251_of_unicode(std::int64_t n) {
  std::int64_t code_point = n < 0 ? n + 0x10000 : n;
  if (code_point < 0 || code_point > 0xFFFF) return '?';
  if (code_point < 0x80) return static_cast<char>(code_point);
  if (code_point >= 0xDC00 && code_point <= 0xDFFF) return std::nullopt;
  if (code_point >= 0xD800 && code_point <= 0xDBFF) return '?';
  std::string converted = from_utf8(utf8_of(static_cast<std::uint32_t>(code_point)));
  return converted.size() == 1 ? converted[0] : '?';
}

// Destinations whose content is not document text; every \* destination is
// skipped as well.
bool is_skipped_destination(std::string_view word) {
  static const std::unordered_set<std::string_view> words{
      "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "generator",
      "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr", "footerf",
      "footnote", "pntext", "pntxta", "pntxtb", "listtext", "listtable", "listoverridetable",
      "revtbl", "rsidtbl", "filetbl", "themedata", "colorschememapping", "latentstyles",
      "datastore", "xmlnstbl", "fldinst", "bkmkstart", "bkmkend", "nonshppict",
  };
  return words.contains(word);
}

// Control words that stand for one character of the text.
std::optional<char> character_word(std::string_view word) {
  static const std::unordered_map<std::string_view, char> characters{
      {"tab", '\t'},          {"cell", '\t'},         {"emdash", '\x97'}, {"endash", '\x96'},
      {"lquote", '\x91'},     {"rquote", '\x92'},     {"ldblquote", '\x93'},
      {"rdblquote", '\x94'},  {"bullet", '\x95'},     {"emspace", ' '},   {"enspace", ' '},
      {"qmspace", ' '},
  };
  auto found = characters.find(word);
  if (found == characters.end()) return std::nullopt;
  return found->second;
}

bool switched_on(parameter value) { return !value || *value != 0; }

// Plain text as a rich edit control takes it: the lines of a data file.
calendar_document plain_text(std::string_view text) {
  calendar_document document;
  auto append = [&document](char c) {
    document.emplace_back();
    document.back().ch = c;
  };
  auto lines = split_lines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) append('\r');
    for (char c : lines[i]) {
      if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') append(c);
    }
  }
  return document;
}

class rtf_parser {
 public:
  explicit rtf_parser(std::string_view rtf) : in_(rtf) {}

  calendar_document parse() && {
    while (pos_ < in_.size() && !ended_) {
      char c = in_[pos_++];
      if (c == '{') {
        open_group();
      } else if (c == '}') {
        close_group();
      } else if (c == '\\') {
        control(read_control());
      } else if (c != '\r' && c != '\n') {
        raw_text(c);
      }
    }
    finish();
    return std::move(document_);
  }

 private:
  using word_action = void (*)(rtf_parser&, parameter);

  group_state& current() { return groups_.back(); }

  void open_group() {
    fallback_left_ = 0;
    if (groups_.size() >= max_rtf_group_depth) {
      skip_to_group_end();
      return;
    }
    groups_.push_back(groups_.empty() ? group_state{} : current());
  }

  // The close of the outermost group ends the document; its state stays for
  // the last paragraph.
  void close_group() {
    fallback_left_ = 0;
    if (groups_.size() <= 1) {
      ended_ = true;
      return;
    }
    groups_.pop_back();
  }

  void skip_to_group_end() {
    std::size_t depth = 1;
    while (pos_ < in_.size()) {
      char c = in_[pos_++];
      if (c == '\\') {
        read_control();  // so that \{, \}, \\ and \bin data do not count
      } else if (c == '{') {
        ++depth;
      } else if (c == '}' && --depth == 0) {
        return;
      }
    }
  }

  void skip_destination() {
    skip_to_group_end();
    close_group();
  }

  control_token read_control() {
    control_token token;
    if (pos_ >= in_.size()) return token;
    if (!is_letter(in_[pos_])) {
      token.symbol = in_[pos_++];
      if (token.symbol == '\'') token.byte = read_hex_byte();
      return token;
    }
    std::size_t start = pos_;
    while (pos_ < in_.size() && is_letter(in_[pos_])) ++pos_;
    token.word = in_.substr(start, pos_ - start);
    token.value = read_parameter();
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    if (token.word == "bin") skip_binary(token.value.value_or(0));
    return token;
  }

  parameter read_parameter() {
    bool negative = pos_ + 1 < in_.size() && in_[pos_] == '-' && is_digit(in_[pos_ + 1]);
    if (negative) ++pos_;
    if (pos_ >= in_.size() || !is_digit(in_[pos_])) return std::nullopt;
    std::int64_t value = 0;
    while (pos_ < in_.size() && is_digit(in_[pos_])) {
      value = std::min(value * 10 + (in_[pos_++] - '0'), max_parameter);
    }
    return negative ? -value : value;
  }

  std::optional<char> read_hex_byte() {
    int value = 0;
    int digits = 0;
    while (digits < 2 && pos_ < in_.size()) {
      auto digit = hex_digit(in_[pos_]);
      if (!digit) break;
      value = value * 16 + *digit;
      ++digits;
      ++pos_;
    }
    if (digits == 0) return std::nullopt;
    return static_cast<char>(value);
  }

  void skip_binary(std::int64_t count) {
    auto left = static_cast<std::int64_t>(in_.size() - pos_);
    pos_ += static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, left));
  }

  // After \uN the next N characters (\ucN) are the fallback for readers
  // without Unicode; a control word or symbol counts as one.
  bool skipped_as_fallback() {
    if (fallback_left_ == 0) return false;
    --fallback_left_;
    return true;
  }

  void control(const control_token& token) {
    if (skipped_as_fallback()) return;
    if (token.word.empty()) {
      symbol(token);
    } else {
      word(token);
    }
  }

  void symbol(const control_token& token) {
    switch (token.symbol) {
      case '\\': case '{': case '}': text(token.symbol); break;
      case '~': text('\xA0'); break;
      case '_': text('-'); break;
      case '\'': if (token.byte) text(*token.byte); break;
      case '*': skip_destination(); break;
      case '\r': case '\n': end_paragraph(); break;
      default: break;  // \- optional hyphen, \: index entry and the like
    }
  }

  void word(const control_token& token) {
    if (is_skipped_destination(token.word)) {
      skip_destination();
    } else if (auto c = character_word(token.word)) {
      text(*c);
    } else if (auto action = word_actions().find(token.word); action != word_actions().end()) {
      action->second(*this, token.value);
    }
  }

  static const std::unordered_map<std::string_view, word_action>& word_actions() {
    static const std::unordered_map<std::string_view, word_action> actions = [] {
      std::unordered_map<std::string_view, word_action> a{
          {"par", [](rtf_parser& p, parameter) { p.end_paragraph(); }},
          {"row", [](rtf_parser& p, parameter) { p.end_paragraph(); }},
          {"line", [](rtf_parser& p, parameter) { p.append('\r'); }},
          {"b", [](rtf_parser& p, parameter v) { p.current().style.bold = switched_on(v); }},
          {"i", [](rtf_parser& p, parameter v) { p.current().style.italic = switched_on(v); }},
          {"ulnone", [](rtf_parser& p, parameter) { p.current().style.underline = false; }},
          {"plain", [](rtf_parser& p, parameter) { p.current().style = {}; }},
          {"pard", [](rtf_parser& p, parameter) { p.align(paragraph_alignment::left); }},
          {"ql", [](rtf_parser& p, parameter) { p.align(paragraph_alignment::left); }},
          {"qc", [](rtf_parser& p, parameter) { p.align(paragraph_alignment::centre); }},
          {"qr", [](rtf_parser& p, parameter) { p.align(paragraph_alignment::right); }},
          {"qj", [](rtf_parser& p, parameter) { p.align(paragraph_alignment::justify); }},
          {"qd", [](rtf_parser& p, parameter) { p.align(paragraph_alignment::justify); }},
          {"uc", [](rtf_parser& p, parameter v) {
             p.current().unicode_fallback = std::max<std::int64_t>(0, v.value_or(1));
           }},
          {"u", [](rtf_parser& p, parameter v) { p.unicode_character(v); }},
      };
      // \ulc is the underline colour, not an underline.
      for (std::string_view kind : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb",
                                    "ulhwave", "ulldash", "ulth", "ulthd", "ulthdash",
                                    "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw",
                                    "ulwave"}) {
        a.emplace(kind, [](rtf_parser& p, parameter v) {
          p.current().style.underline = switched_on(v);
        });
      }
      return a;
    }();
    return actions;
  }

  void align(paragraph_alignment alignment) { current().alignment = alignment; }

  void unicode_character(parameter value) {
    if (!value) return;
    if (auto c = cp1251_of_unicode(*value)) text(*c);
    fallback_left_ = current().unicode_fallback;
  }

  void raw_text(char c) {
    if (!skipped_as_fallback()) text(c);
  }

  // Control characters are not text of the document; line breaks come only
  // from \par and \line.
  void text(char c) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return;
    append(c);
  }

  void append(char c) {
    commit_pending_break();
    document_.push_back({.ch = c, .style = current().style, .alignment = current().alignment});
  }

  // The alignment in effect at \par is that of the whole paragraph. The break
  // waits until more text follows, so that the mark ending the document can
  // be dropped.
  void end_paragraph() {
    commit_pending_break();
    align_paragraph();
    pending_break_ = styled_char{.ch = '\r', .style = current().style,
                                 .alignment = current().alignment};
    paragraph_begin_ = document_.size();
  }

  void commit_pending_break() {
    if (!pending_break_) return;
    document_.push_back(*pending_break_);
    pending_break_.reset();
    paragraph_begin_ = document_.size();
  }

  void align_paragraph() {
    for (std::size_t i = paragraph_begin_; i < document_.size(); ++i) {
      document_[i].alignment = current().alignment;
    }
  }

  void finish() {
    pending_break_.reset();
    if (!groups_.empty()) align_paragraph();
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  bool ended_ = false;
  std::vector<group_state> groups_;
  std::int64_t fallback_left_ = 0;
  calendar_document document_;
  std::size_t paragraph_begin_ = 0;
  std::optional<styled_char> pending_break_;
};

}  // namespace

calendar_document read_rtf(std::string_view rtf) {
  if (!rtf.starts_with("{\\rtf")) return plain_text(rtf);
  return rtf_parser(rtf).parse();
}

}  // namespace velmira
