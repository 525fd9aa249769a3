#include "protocol/request_line.hpp"

#include "core/text_codec.hpp"

namespace velmira {

request_line request_line::from_wire(std::string_view utf8_bytes) { return request_line{from_utf8(utf8_bytes)}; }

}  // namespace velmira
