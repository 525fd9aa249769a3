#pragma once
// Small text rules shared by every subsystem. All texts are Windows-1251.
#include <optional>
#include <string>
#include <string_view>

namespace velmira {

// Takes the text before the first `separator` and leaves `rest` after it.
// Without the separator the field is empty and `rest` stays whole, which is
// why every separator of a request is mandatory, the last one too.
std::string_view cut_field(std::string_view& rest, std::string_view separator);
inline std::string_view cut_field(std::string_view& rest, char separator) {
  return cut_field(rest, std::string_view(&separator, 1));
}

// The character rule for logins, passwords (tip 1) and port numbers (tip 2).
bool PoiskBukv(std::string_view s, int tip);

// The value of a run of decimal digits whose length is within the bounds;
// nothing for anything else.
std::optional<unsigned> digits_value(std::string_view text, size_t min_length, size_t max_length);

// The integer value of a text, 0 when it is not an integer.
int chislo(std::string_view s);

// The organisation name as upper-case hexadecimal of its bytes.
std::string CodOrg(std::string_view organisation);

}  // namespace velmira
