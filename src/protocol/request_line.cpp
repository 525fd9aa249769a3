#include "protocol/request_line.hpp"

#include "core/text_codec.hpp"

namespace velmira {

request_line::request_line(std::string converted) : text(std::move(converted)) {
  std::string_view all = text;
  comanda = all.substr(0, 5);
  rol = all.substr(std::min<size_t>(5, all.size()), 4);
  arguments = all.substr(std::min<size_t>(9, all.size()));
}

request_line request_line::from_wire(std::string_view utf8_bytes) {
  return request_line(from_utf8(utf8_bytes));
}

}  // namespace velmira
