#pragma once
// The letter code that announcement and note records keep their author's
// login and password in: every character becomes hexadecimal digits and
// every digit one lower-case letter, so a coded field is letters only and
// can never hold the record's field separator.
//
// One fixed table serves every writer and reader of those records; files
// written with it are only readable with it, so it must never change.
// Pure functions; thread-safe.
#include <string>
#include <string_view>

namespace velmira {

// The letters standing for the digits 0 to F, in that order.
inline constexpr std::string_view letter_code_digits = "qazwsxedcrfvtgby";

// Each UTF-16 code unit as at least two upper-case hexadecimal digits
// (three or four above 0xFF), every digit replaced by its letter.
std::string StrToHex(std::u16string_view source);
// The same for Windows-1251 text, whose characters are taken as the UTF-16
// code units they stand for.
std::string StrToHex(std::string_view text_1251);

// Table letters only, in pairs, each pair one character U+0000 to U+00FF;
// any other character is skipped and an odd last digit is dropped.
std::u16string HexToStr_utf16(std::string_view hex);
// The same as Windows-1251 text; a decoded character that Windows-1251
// lacks becomes "?".
std::string HexToStr(std::string_view hex);

}  // namespace velmira
