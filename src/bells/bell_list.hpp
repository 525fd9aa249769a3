#pragma once
// The bell list: the ordered schema names and the four status texts that
// clients show outside lesson time, kept in spisok.ini.
//
// All text is Windows-1251. Not thread-safe: the owner serialises access.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmira {

struct status_texts {
  std::string zakonch1, zakonch2, zakonch3, zakonch4;

  // Every empty text gets its default: "Уроки закончились." for the first
  // two, "Уроки еще не начались. Ожидайте." for the last two.
  void fill_defaults();
};

// At most `capacity` names in list order, with the list's selected entry.
// Uniqueness (exact, case-sensitive) is the caller's check: `contains`.
class schema_list {
 public:
  static constexpr std::size_t capacity = 10;

  const std::vector<std::string>& names() const { return names_; }
  std::size_t size() const { return names_.size(); }
  bool empty() const { return names_.empty(); }
  bool full() const { return names_.size() >= capacity; }
  bool contains(std::string_view name) const;

  // Replaces the whole list, keeping the first `capacity` names; clears the
  // selection.
  void assign(std::vector<std::string> names);
  // False, and nothing changes, when the list is full.
  bool append(std::string name);
  // Exchanges two names; the selection stays on its position.
  void exchange(std::size_t a, std::size_t b);
  void rename(std::size_t index, std::string name);
  // The selection follows its entry; removing the selected one clears it.
  void remove(std::size_t index);

  // Index out of range throws std::out_of_range.
  void select(std::size_t index);
  void clear_selection() { selected_.reset(); }
  std::optional<std::size_t> selected() const { return selected_; }
  // Nothing when no entry is selected.
  std::optional<std::string> selected_name() const;

 private:
  void check_index(std::size_t index) const;

  std::vector<std::string> names_;
  std::optional<std::size_t> selected_;
};

// spisok.ini: zakonch1, zakonch2, "---", zakonch3, zakonch4, "---", then one
// schema name per line.
struct bell_list_contents {
  status_texts texts;               // defaults filled in
  std::vector<std::string> names;   // at most schema_list::capacity
};

// Lines 1 to 6 are the header (3 and 6 ignored); only lines 7 to 16 are
// read for names, empty ones skipped; missing lines read as empty.
bell_list_contents parse_bell_list(std::string_view file_text);
std::string format_bell_list(const status_texts& texts, const std::vector<std::string>& names);

}  // namespace velmira
