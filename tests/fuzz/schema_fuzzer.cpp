// The bell files as read from disk: one input is read both as a schema file
// and as the bell list. What the server writes back from either must load
// back unchanged, and normalising a schema before its save must leave it
// writable and readable the same way.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bells/bell_list.hpp"
#include "bells/schema_table.hpp"
#include "fuzz_support.hpp"

namespace velmira {
namespace {

void check_schema(std::string_view text) {
  schema_table shema = parse_schema(text);
  fuzz::require(parse_schema(format_schema(shema)) == shema, "schema file does not load back as saved");
  normalise_before_save(shema);
  fuzz::require(parse_schema(format_schema(shema)) == shema, "normalised schema does not load back as saved");
}

bool same_texts(const status_texts& a, const status_texts& b) {
  return a.zakonch1 == b.zakonch1 && a.zakonch2 == b.zakonch2 && a.zakonch3 == b.zakonch3 &&
         a.zakonch4 == b.zakonch4;
}

void check_bell_list(std::string_view text) {
  bell_list_contents list = parse_bell_list(text);
  fuzz::require(list.names.size() <= schema_list::capacity, "bell list holds more names than it may");
  bell_list_contents again = parse_bell_list(format_bell_list(list.texts, list.names));
  fuzz::require(same_texts(again.texts, list.texts) && again.names == list.names,
                "bell list does not load back as saved");
}

}  // namespace
}  // namespace velmira

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto text = velmira::fuzz::as_text(data, size);
  velmira::check_schema(text);
  velmira::check_bell_list(text);
  return 0;
}
