#pragma once
// A request line cut into its fixed-width fields. All Windows-1251.
#include <algorithm>
#include <string>
#include <string_view>

namespace velmira {

struct request_line {
  std::string text;  // the whole converted line

  // Decodes the line's bytes as UTF-8 and converts them to Windows-1251.
  static request_line from_wire(std::string_view utf8_bytes);

  std::string_view comanda() const { return field(0, 5); }    // characters 1-5
  std::string_view rol() const { return field(5, 4); }        // characters 6-9
  std::string_view arguments() const { return field(9, std::string_view::npos); }  // character 10 on

 private:
  std::string_view field(size_t first, size_t count) const {
    return std::string_view(text).substr(std::min(first, text.size()), count);
  }
};

}  // namespace velmira
