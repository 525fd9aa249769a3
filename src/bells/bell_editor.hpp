#pragma once
// The page "Редактор звонков" without its window: the schema list's
// operations, the time grid `comb` that shows one day of the current schema,
// the day selectors, the copy menu and the today caption.
//
// Names, grid values and captions are Windows-1251, as the bell files hold
// them; the messages and questions the operator is shown are UTF-8, as every
// page model's are.
//
// The editor works in the bell directory of the operating mode it is told
// ("zvonok" or "remote"). It never talks to the network: in remote mode,
// once an operation has rewritten the bell files under remote\, it calls the
// `push` its owner gave it, which sends the list and every schema to the
// master (ZvonkiOtprav). The push runs on the caller's thread before the
// operation returns, after every file of that operation is written.
//
// Failures: input/output errors throw data_file_error and end the operation
// where they happened; files already written stay. Indexes out of range
// throw std::out_of_range.
//
// Not thread-safe: every call happens on the operator's thread, the list
// reloads that an administration upload triggers included. Keeps references
// to the bell schedule and the clock, which must outlive it.
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bells/bell_list.hpp"
#include "bells/bell_schedule.hpp"
#include "bells/schema_table.hpp"
#include "core/clock.hpp"
#include "core/operator_outcome.hpp"
#include "core/settings_page.hpp"

namespace velmira {

// Day names, 1 "Понедельник" … 7 "Воскресенье"; any other number gives "".
std::string DenNed(int den);

// The fixed items of a grid field; item 0 is the blank " ".
const std::vector<std::string>& comb_items(lesson_field f);

// One drop-down of the grid. Its value is always one of its items.
class comb_field {
 public:
  explicit comb_field(lesson_field f) : items_(&comb_items(f)) {}

  const std::vector<std::string>& items() const { return *items_; }
  const std::string& text() const { return (*items_)[selected_]; }
  bool blank() const { return selected_ == 0; }
  // The number shown; the blank counts as 0.
  int value() const;

  // Selects the item equal to `text`; false, keeping the selection, when no
  // item is.
  bool select_text(std::string_view text);
  void clear() { selected_ = 0; }

  bool enabled = false;

 private:
  const std::vector<std::string>* items_;
  std::size_t selected_ = 0;
};

// The rename window while it is open: the old name and the position of the
// entry it renames, remembered when the window opened.
struct rename_window {
  std::string old_name;
  std::size_t position = 0;
};

// One lesson of the week preview: "8:30" and "9:15"; a time with a blank
// part is "".
struct lesson_span {
  std::string start, end;
  bool operator==(const lesson_span&) const = default;
};
// Lessons 1 to 10 of a day; nothing where there is no lesson.
using day_preview = std::array<std::optional<lesson_span>, schema_table::lesson_count>;

class bell_editor {
 public:
  // Called in remote mode with the schema names in list order once the
  // files under remote\ are written; names without a schema file of their
  // own there (has_remote_schema_file) are left out.
  using bell_push = std::function<void(const std::vector<std::string>& schema_names)>;
  using mode_query = std::function<operating_mode()>;

  // The grid starts blank, enabled as ComboEnabl leaves it, on today's day.
  bell_editor(bell_schedule& bells, const clock_source& clock, mode_query mode, bell_push push);

  const schema_list& schemas() const { return bells_.list(); }
  // The grid field of lesson 1..10.
  const comb_field& comb(int lesson, lesson_field f) const;
  bool group_enabled() const { return group_enabled_; }
  // The day shown, 1 Monday … 7 Sunday.
  int day() const { return day_; }
  const std::string& today_caption() const { return today_caption_; }
  const std::optional<rename_window>& rename_window_state() const { return rename_; }
  // The text box under the list that "Добавить" reads.
  const std::string& name_field() const { return name_field_; }
  void set_name_field(std::string text) { name_field_ = std::move(text); }

  // The bell directory of the operating mode now.
  std::string dop() const;

  // Reloads the list from dop\spisok.ini and shows the first schema's day;
  // an empty list blanks the grid and disables the time group, and a filled
  // one does not enable it again (only adding a schema does).
  operator_outcome LoadSpisokLocal(std::string_view dop);

  // The operator picks `text` in a field, then the day is recomputed. False,
  // and nothing changes, when the text is not an item of the field or the
  // field or the time group is disabled.
  bool sCombChange(int lesson, lesson_field f, std::string_view text);
  void ComboEnabl();

  // "Добавить" with the name field's text.
  operator_outcome BitBtn6Click();
  // "Сохранить": the shown day into `shema`, then the normalised schema
  // written as the selected schema's file and made current again.
  operator_outcome BitBtn7Click();
  // "↑ выше" (−1), "↓ ниже" (+1).
  operator_outcome N10Click(int step);
  // "Переименовать": opens the rename window for the selected entry.
  void N12Click();
  // "Продолжить" of the rename window (TForm4.Button1Click); a refused name
  // leaves the window open.
  operator_outcome Form4Button1Click(std::string_view new_name);
  void close_rename_window() { rename_.reset(); }
  // "Удалить": asks first; called again with the answer, deletes on yes.
  operator_outcome E1Click(operator_answer given = operator_answer::none);

  // Shows day `den` of `shema` in the grid; no recomputation.
  void LoadDen(int den);
  // A day selector released: the shown day's fields go into `shema`
  // (nothing is saved) and day `den` is shown.
  void DenClick(int den);
  // A click in the schema list: the entry (nothing: none) becomes selected,
  // then ListView2Click.
  operator_outcome sListView2Click(std::optional<std::size_t> index);
  // Makes the selected schema current: its file into `shema` and the shown
  // day into the grid. Unsaved edits are lost.
  operator_outcome ListView2Click();
  // The copy menu: day `source` of `shema` onto the shown day.
  void g1Click(int source);
  // Any change of the window's page.
  void PageControl1Change();

  // The week of the selected schema as bell clients will show it once
  // "Сохранить" has written what the editor holds now (the shown day taken
  // from the grid); all empty without a selection. Changes nothing.
  std::array<day_preview, schema_table::day_count> week_preview() const;

 private:
  comb_field& field_at(int lesson, lesson_field f);
  void clear_grid();
  void clear_lesson(int lesson);
  // Selects the item for a computed number of minutes in a pair of fields.
  void set_time(int lesson, lesson_field hour, lesson_field minute, int minutes);
  void recompute();
  // The shown day's fields into `shema`.
  void grid_to_day(schema_table& shema) const;
  void push_in_remote_mode();
  int today() const;

  bell_schedule& bells_;
  const clock_source& clock_;
  mode_query mode_;
  bell_push push_;
  std::vector<std::array<comb_field, schema_table::fields_per_day>> comb_;
  bool group_enabled_ = true;
  int day_;
  std::string today_caption_;
  std::string name_field_;
  std::optional<rename_window> rename_;
};

}  // namespace velmira
