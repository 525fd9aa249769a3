#pragma once
// Conversion between the Windows-1251 text the server keeps and stores, and
// the UTF-8 text of the network, file names on disk and standard output.
//
// Naming habit used throughout the code: a std::string holds Windows-1251
// bytes unless its name or the function returning it says utf8.
// Both functions are thread-safe.
#include <string>
#include <string_view>

namespace velmira {

// A character Windows-1251 lacks, or a byte sequence that is not UTF-8,
// becomes one "?" per character (per offending byte for invalid input).
std::string from_utf8(std::string_view utf8);

// Windows-1251 leaves 0x98 unassigned; it becomes "?".
std::string to_utf8(std::string_view cp1251);

}  // namespace velmira
