#include "support/case_name.hpp"

#include <cctype>
#include <cstdio>

namespace velmira::testing {

namespace {

bool is_ascii_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string spelled_byte(char c) {
  switch (c) {
    case ' ': return "Space";
    case '\t': return "Tab";
    case '\n': return "Lf";
    case '\r': return "Cr";
    case '\0': return "Nul";
    case '.': return "Dot";
    case ',': return "Comma";
    case ';': return "Semicolon";
    case ':': return "Colon";
    case '/': return "Slash";
    case '\\': return "Backslash";
    case '-': return "Minus";
    case '+': return "Plus";
    case '|': return "Bar";
    case '$': return "Dollar";
    case '%': return "Percent";
    case '?': return "Question";
    case '&': return "Ampersand";
    case '=': return "Equals";
    case '#': return "Hash";
    case '@': return "At";
    case '!': return "Bang";
    case '*': return "Star";
    case '~': return "Tilde";
    case '"': return "Quote";
    case '\'': return "Apostrophe";
    case '(': return "OpenParen";
    case ')': return "CloseParen";
    case '[': return "OpenBracket";
    case ']': return "CloseBracket";
    case '{': return "OpenBrace";
    case '}': return "CloseBrace";
    case '<': return "Less";
    case '>': return "Greater";
    default: {
      char hex[4];
      std::snprintf(hex, sizeof hex, "x%02X", static_cast<unsigned char>(c));
      return hex;
    }
  }
}

// A name of digits alone would read as the index gtest gives a case that
// has no name.
std::string not_only_digits(std::string name) {
  for (char c : name) {
    if (c < '0' || c > '9') return name;
  }
  return "Number" + name;
}

}  // namespace

std::string case_name(std::string_view description) {
  std::string name;
  bool word_start = true;
  for (char c : description) {
    if (!is_ascii_alnum(c)) {
      word_start = true;
      continue;
    }
    name += word_start ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    word_start = false;
  }
  return not_only_digits(name);
}

std::string spelled(std::string_view text) {
  if (text.empty()) return "Empty";
  std::string name;
  bool in_word = false;  // the last token was letters and digits
  for (char c : text) {
    bool word_char = is_ascii_alnum(c) || c == '_';
    if (!name.empty() && !(word_char && in_word)) name += '_';
    name += word_char ? std::string(1, c) : spelled_byte(c);
    in_word = word_char;
  }
  return not_only_digits(name);
}

}  // namespace velmira::testing
