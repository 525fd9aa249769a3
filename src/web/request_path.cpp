#include "web/request_path.hpp"

#include <optional>

#include "core/text_codec.hpp"

namespace velmira {
namespace {

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

std::string text_from_wire(std::string_view bytes) {
  return is_valid_utf8(bytes) ? from_utf8(bytes) : std::string(bytes);
}

std::string decode_request_path(std::string_view target) {
  return text_from_wire(percent_decoded(target.substr(0, target.find('?'))));
}

}  // namespace velmira
