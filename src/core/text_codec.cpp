#include "core/text_codec.hpp"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <stdexcept>

namespace velmira {
namespace {

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

struct utf8_sequence {
  size_t length;
  char32_t code;
};

// The well-formed sequence at the start of `s`, nothing when there is none.
std::optional<utf8_sequence> leading_sequence(std::string_view s) {
  auto lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x80) return utf8_sequence{1, lead};
  size_t length = 0;
  char32_t code = 0, smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, smallest = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() < length) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (!is_continuation(b)) return std::nullopt;
    code = (code << 6) | (b & 0x3F);
  }
  bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < smallest || surrogate || code > 0x10FFFF) return std::nullopt;
  return utf8_sequence{length, code};
}

size_t valid_sequence_length(std::string_view s) {
  auto sequence = leading_sequence(s);
  return sequence ? sequence->length : 0;
}

// U+E0000 to U+E007F: glibc's converters drop these silently instead of
// reporting them as characters the target lacks.
bool is_tag_character(char32_t code) { return code >> 7 == 0xE0000 >> 7; }

// How many bytes from the start of `s` are sequences `accepted` lets pass.
template <class Accepted>
size_t prefix_length(std::string_view s, Accepted accepted) {
  size_t length = 0;
  while (length < s.size()) {
    auto sequence = leading_sequence(s.substr(length));
    if (!sequence || !accepted(sequence->code)) break;
    length += sequence->length;
  }
  return length;
}

// One converter per thread and direction: iconv descriptors carry shift
// state and must not be shared, and opening one per call is costly.
class converter {
 public:
  converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~converter() { iconv_close(cd_); }
  converter(const converter&) = delete;
  converter& operator=(const converter&) = delete;

  // Appends the conversion of `in` to `out`. iconv stops at a character the
  // target lacks; `character_length` tells how many input bytes that
  // character spans, and it becomes one "?".
  template <class CharacterLength>
  void append(std::string& out, std::string_view in, CharacterLength character_length) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buffer[4096];
    while (src_left > 0) {
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
      out.append(buffer, static_cast<size_t>(dst - buffer));
      if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
      size_t n = character_length(std::string_view(src, src_left));
      out.push_back('?');
      src += n;
      src_left -= n;
    }
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  return prefix_length(bytes, [](char32_t) { return true; }) == bytes.size();
}

// iconv only ever sees well-formed runs free of tag characters, so the rules
// here, not the converter's own idea of UTF-8, decide what becomes "?".
std::string from_utf8(std::string_view utf8) {
  if (is_ascii(utf8)) return std::string(utf8);
  thread_local converter c("WINDOWS-1251", "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    size_t run = prefix_length(utf8, [](char32_t code) { return !is_tag_character(code); });
    c.append(out, utf8.substr(0, run), valid_sequence_length);
    utf8.remove_prefix(run);
    if (utf8.empty()) break;
    // A tag character, or a byte that begins no well-formed sequence.
    out.push_back('?');
    utf8.remove_prefix(std::max<size_t>(1, valid_sequence_length(utf8)));
  }
  return out;
}

std::string to_utf8(std::string_view cp1251) {
  if (is_ascii(cp1251)) return std::string(cp1251);
  thread_local converter c("UTF-8", "WINDOWS-1251");
  std::string out;
  out.reserve(cp1251.size() * 2);
  c.append(out, cp1251, [](std::string_view) { return size_t{1}; });
  return out;
}

}  // namespace velmira
