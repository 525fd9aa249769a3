#include "core/fields.hpp"

#include <charconv>

namespace velmira {

std::string_view cut_field(std::string_view& rest, std::string_view separator) {
  auto at = rest.find(separator);
  if (at == std::string_view::npos) return {};
  auto field = rest.substr(0, at);
  rest.remove_prefix(at + separator.size());
  return field;
}

std::optional<unsigned> digits_value(std::string_view text, size_t min_length, size_t max_length) {
  if (text.size() < min_length || text.size() > max_length) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

namespace {
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_login_char(char c) {
  return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
}
}  // namespace

bool PoiskBukv(std::string_view s, int tip) {
  if (s.empty()) return false;
  bool (*allowed)(char) = tip == 1 ? is_login_char : tip == 2 ? is_digit : nullptr;
  if (allowed == nullptr) return false;
  for (char c : s) {
    if (!allowed(c)) return false;
  }
  return true;
}

int chislo(std::string_view s) {
  if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc{} || end != s.data() + s.size() || s.empty()) return 0;
  return value;
}

std::string CodOrg(std::string_view organisation) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(organisation.size() * 2);
  for (unsigned char b : organisation) {
    hex.push_back(digits[b >> 4]);
    hex.push_back(digits[b & 0xF]);
  }
  return hex;
}

}  // namespace velmira
