#pragma once
// A request line cut into its fixed-width fields. All Windows-1251.
#include <string>
#include <string_view>

namespace velmira {

struct request_line {
  std::string text;  // the whole converted line
  std::string_view comanda;    // characters 1-5
  std::string_view rol;        // characters 6-9
  std::string_view arguments;  // character 10 to the end

  // Decodes the line's bytes as UTF-8 and converts them to Windows-1251.
  static request_line from_wire(std::string_view utf8_bytes);

  request_line() = default;
  request_line(const request_line&) = delete;
  request_line& operator=(const request_line&) = delete;

 private:
  explicit request_line(std::string converted);
};

}  // namespace velmira
