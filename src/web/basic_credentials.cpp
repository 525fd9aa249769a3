#include "web/basic_credentials.hpp"

#include <boost/beast/core/detail/base64.hpp>
#include <cctype>

#include "web/request_path.hpp"

namespace velmira {
namespace {

namespace base64 = boost::beast::detail::base64;

// The scheme name is case-insensitive; one or more spaces end it.
std::optional<std::string_view> basic_token(std::string_view header) {
  static constexpr std::string_view scheme = "basic";
  if (header.size() <= scheme.size() || header[scheme.size()] != ' ') return std::nullopt;
  for (size_t i = 0; i < scheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(header[i])) != scheme[i]) return std::nullopt;
  }
  auto first = header.find_first_not_of(' ', scheme.size());
  if (first == std::string_view::npos) return std::nullopt;
  auto last = header.find_last_not_of(' ');
  return header.substr(first, last + 1 - first);
}

// The decoder stops quietly at the first byte outside the alphabet; only a
// token it read up to its padding is accepted. Unpadded tokens are refused,
// which also keeps the output within decoded_size().
std::optional<std::string> decode_padded_base64(std::string_view token) {
  if (token.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  while (padding < token.size() && token[token.size() - 1 - padding] == '=') ++padding;
  if (padding > 2) return std::nullopt;
  std::string bytes(base64::decoded_size(token.size()), '\0');
  auto [written, read] = base64::decode(bytes.data(), token.data(), token.size());
  if (read != token.size() - padding) return std::nullopt;
  bytes.resize(written);
  return bytes;
}

}  // namespace

std::optional<basic_credentials> parse_basic_authorization(std::string_view header) {
  auto token = basic_token(header);
  if (!token) return std::nullopt;
  auto decoded = decode_padded_base64(*token);
  if (!decoded) return std::nullopt;
  auto colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return basic_credentials{text_from_wire(decoded->substr(0, colon)),
                           text_from_wire(decoded->substr(colon + 1))};
}

}  // namespace velmira
