#include "web/request_path.hpp"

#include <algorithm>
#include <optional>

#include "core/text_codec.hpp"

namespace velmira {
namespace {

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed sequence at the start of `s`, 0 when it is not.
size_t valid_sequence_length(std::string_view s) {
  auto lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x80) return 1;
  size_t length = 0;
  char32_t code = 0, smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, smallest = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (!is_continuation(b)) return 0;
    code = (code << 6) | (b & 0x3F);
  }
  bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < smallest || surrogate || code > 0x10FFFF) return 0;
  return length;
}

std::optional<unsigned char> hex_digit(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned char>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned char>(c - 'A' + 10);
  return std::nullopt;
}

std::string percent_decoded(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      auto high = hex_digit(text[i + 1]);
      auto low = hex_digit(text[i + 2]);
      if (high && low) {
        bytes.push_back(static_cast<char>(*high << 4 | *low));
        i += 2;
        continue;
      }
    }
    bytes.push_back(text[i]);
  }
  return bytes;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  while (!bytes.empty()) {
    size_t length = valid_sequence_length(bytes);
    if (length == 0) return false;
    bytes.remove_prefix(length);
  }
  return true;
}

std::string text_from_wire(std::string_view bytes) {
  // ASCII reads the same in both encodings; most paths are ASCII, and the
  // converter is the dearest step of serving them.
  bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return std::string(bytes);
  return is_valid_utf8(bytes) ? from_utf8(bytes) : std::string(bytes);
}

std::string decode_request_path(std::string_view target) {
  return text_from_wire(percent_decoded(target.substr(0, target.find('?'))));
}

}  // namespace velmira
