#pragma once
// Conversion between the Windows-1251 text the server keeps and stores, and
// the UTF-8 text of the network, file names on disk and standard output.
// The one UTF-8 decoder of the server: every path that reads UTF-8 from
// outside decides with is_valid_utf8 and converts with from_utf8.
//
// Naming habit used throughout the code: a std::string holds Windows-1251
// bytes unless its name or the function returning it says utf8.
// All functions are thread-safe.
#include <string>
#include <string_view>

namespace velmira {

// True when the bytes are well-formed UTF-8: no overlong forms, no UTF-16
// surrogates, nothing past U+10FFFF, no sequence cut short.
bool is_valid_utf8(std::string_view bytes);

// Every byte of a sequence is_valid_utf8 refuses becomes one "?", and so does
// every well-formed character Windows-1251 lacks.
std::string from_utf8(std::string_view utf8);

// Windows-1251 leaves 0x98 unassigned; it becomes "?".
std::string to_utf8(std::string_view cp1251);

}  // namespace velmira
