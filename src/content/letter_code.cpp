#include "content/letter_code.hpp"

#include <array>

#include "core/text_codec.hpp"

namespace velmira {

namespace {

// Index of a table letter, or -1 for any other character.
int digit_of(char letter) {
  auto at = letter_code_digits.find(letter);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

void append_letters(std::string& letters, char16_t unit) {
  int digit_count = unit > 0xFFF ? 4 : unit > 0xFF ? 3 : 2;
  for (int i = digit_count - 1; i >= 0; --i) {
    letters.push_back(letter_code_digits[(unit >> (4 * i)) & 0xF]);
  }
}

// One UTF-8 sequence of a character of the Basic Multilingual Plane.
char16_t decode_utf8_unit(std::string_view utf8) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(utf8[i]); };
  if (utf8.size() == 2) return static_cast<char16_t>(((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F));
  if (utf8.size() == 3) {
    return static_cast<char16_t>(((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F));
  }
  return utf8.empty() ? u'?' : static_cast<char16_t>(byte(0));
}

// What each upper-half Windows-1251 byte stands for in UTF-16.
const std::array<char16_t, 128>& upper_half_units() {
  static const std::array<char16_t, 128> units = [] {
    std::array<char16_t, 128> table{};
    for (size_t i = 0; i < table.size(); ++i) {
      char byte = static_cast<char>(0x80 + i);
      table[i] = decode_utf8_unit(to_utf8(std::string_view(&byte, 1)));
    }
    return table;
  }();
  return units;
}

// The Windows-1251 byte for each character U+0080 to U+00FF ("?" if none).
const std::array<char, 128>& upper_latin1_bytes() {
  static const std::array<char, 128> bytes = [] {
    std::array<char, 128> table{};
    for (size_t i = 0; i < table.size(); ++i) {
      unsigned code = 0x80 + static_cast<unsigned>(i);
      const char utf8[] = {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
      table[i] = from_utf8(std::string_view(utf8, 2)).front();
    }
    return table;
  }();
  return bytes;
}

}  // namespace

std::string StrToHex(std::u16string_view source) {
  std::string letters;
  letters.reserve(source.size() * 2);
  for (char16_t unit : source) append_letters(letters, unit);
  return letters;
}

std::string StrToHex(std::string_view text_1251) {
  std::u16string units;
  units.reserve(text_1251.size());
  for (unsigned char byte : text_1251) {
    units.push_back(byte < 0x80 ? char16_t{byte} : upper_half_units()[byte - 0x80]);
  }
  return StrToHex(std::u16string_view(units));
}

std::u16string HexToStr_utf16(std::string_view hex) {
  std::u16string text;
  int high = -1;
  for (char c : hex) {
    int digit = digit_of(c);
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
    } else {
      text.push_back(static_cast<char16_t>(high * 16 + digit));
      high = -1;
    }
  }
  return text;
}

std::string HexToStr(std::string_view hex) {
  std::string text;
  for (char16_t unit : HexToStr_utf16(hex)) {
    text.push_back(unit < 0x80 ? static_cast<char>(unit) : upper_latin1_bytes()[unit - 0x80]);
  }
  return text;
}

}  // namespace velmira
