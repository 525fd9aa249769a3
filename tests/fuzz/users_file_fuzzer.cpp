// users.ini as read from disk. Saving the table and loading it again must
// give the same table, except that a row whose active field was missing
// comes back blocked ("0"), as the saved line then carries an empty field.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.hpp"
#include "users/user_table.hpp"
#include "users/users_file.hpp"

namespace velmira {
namespace {

user_rows as_saved(user_rows rows) {
  for (auto& row : rows) {
    if (row[user_column::active] != "1") row[user_column::active] = "0";
  }
  return rows;
}

}  // namespace
}  // namespace velmira

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmira;
  user_rows rows = parse_users(fuzz::as_text(data, size));
  fuzz::require(parse_users(format_users(rows)) == as_saved(rows), "users.ini does not load back as saved");
  return 0;
}
