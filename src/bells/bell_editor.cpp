#include "bells/bell_editor.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "core/fields.hpp"
#include "core/text_codec.hpp"

namespace velmira {

namespace {

constexpr lesson_field all_fields[] = {lesson_field::start_hour, lesson_field::start_minute,
                                       lesson_field::end_hour,   lesson_field::end_minute,
                                       lesson_field::length,     lesson_field::break_after};

std::string two_digits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::vector<std::string> items_from(int first, int last, int step, bool padded) {
  std::vector<std::string> items{std::string(blank_field)};
  for (int n = first; n <= last; n += step) items.push_back(padded ? two_digits(n) : std::to_string(n));
  return items;
}

void check_day(int den) {
  if (den < 1 || den > schema_table::day_count) throw std::out_of_range("day of the week");
}

operator_outcome say_refusal(const refusal& refused) {
  if (!refused) return {};
  return operator_outcome::showing(*refused);
}

bool is_value(const std::string& text) { return text != blank_field && !text.empty(); }

std::string time_of(const std::string& hour, const std::string& minute) {
  if (!is_value(hour) || !is_value(minute)) return {};
  return hour + ":" + minute;
}

}  // namespace

std::string DenNed(int den) {
  static const std::array<std::string, 7> names = {
      from_utf8("Понедельник"), from_utf8("Вторник"), from_utf8("Среда"),      from_utf8("Четверг"),
      from_utf8("Пятница"),     from_utf8("Суббота"), from_utf8("Воскресенье")};
  if (den < 1 || den > 7) return {};
  return names[static_cast<std::size_t>(den - 1)];
}

const std::vector<std::string>& comb_items(lesson_field f) {
  static const auto hours = items_from(0, 23, 1, false);
  static const auto minutes = items_from(0, 55, 5, true);
  static const auto lengths = items_from(15, 55, 5, false);
  static const auto breaks = items_from(5, 55, 5, false);
  switch (f) {
    case lesson_field::start_hour:
    case lesson_field::end_hour:
      return hours;
    case lesson_field::start_minute:
    case lesson_field::end_minute:
      return minutes;
    case lesson_field::length:
      return lengths;
    case lesson_field::break_after:
      return breaks;
  }
  throw std::out_of_range("lesson field");
}

int comb_field::value() const { return blank() ? 0 : chislo(text()); }

bool comb_field::select_text(std::string_view text) {
  auto found = std::find(items_->begin(), items_->end(), text);
  if (found == items_->end()) return false;
  selected_ = static_cast<std::size_t>(found - items_->begin());
  return true;
}

bell_editor::bell_editor(bell_schedule& bells, const clock_source& clock, mode_query mode, bell_push push)
    : bells_(bells), clock_(clock), mode_(std::move(mode)), push_(std::move(push)), day_(today()) {
  comb_.reserve(schema_table::lesson_count);
  for (int i = 0; i < schema_table::lesson_count; ++i) {
    comb_.push_back({comb_field(lesson_field::start_hour), comb_field(lesson_field::start_minute),
                     comb_field(lesson_field::end_hour), comb_field(lesson_field::end_minute),
                     comb_field(lesson_field::length), comb_field(lesson_field::break_after)});
  }
  ComboEnabl();
}

const comb_field& bell_editor::comb(int lesson, lesson_field f) const {
  return comb_.at(static_cast<std::size_t>(lesson - 1)).at(static_cast<std::size_t>(static_cast<int>(f) - 1));
}

comb_field& bell_editor::field_at(int lesson, lesson_field f) {
  return comb_.at(static_cast<std::size_t>(lesson - 1)).at(static_cast<std::size_t>(static_cast<int>(f) - 1));
}

std::string bell_editor::dop() const {
  return std::string(mode_() == operating_mode::remote ? remote_bell_folder : "zvonok");
}

int bell_editor::today() const {
  return static_cast<int>(std::chrono::weekday(std::chrono::floor<std::chrono::days>(clock_.now())).iso_encoding());
}

operator_outcome bell_editor::LoadSpisokLocal(std::string_view dop) {
  auto reply = say_refusal(bells_.LoadSpisokLocal(dop));
  if (bells_.list().empty()) {
    group_enabled_ = false;
    clear_grid();
  } else {
    LoadDen(day_);
  }
  return reply;
}

bool bell_editor::sCombChange(int lesson, lesson_field f, std::string_view text) {
  comb_field& field = field_at(lesson, f);
  if (!group_enabled_ || !field.enabled) return false;
  if (!field.select_text(text)) return false;
  recompute();
  return true;
}

void bell_editor::ComboEnabl() {
  const bool any = !bells_.list().empty();
  for (int i = 1; i <= schema_table::lesson_count; ++i) {
    for (lesson_field f : all_fields) {
      const bool typed = f == lesson_field::length || f == lesson_field::break_after ||
                         (i == 1 && (f == lesson_field::start_hour || f == lesson_field::start_minute));
      field_at(i, f).enabled = any && typed;
    }
  }
}

void bell_editor::clear_grid() {
  for (int i = 1; i <= schema_table::lesson_count; ++i) clear_lesson(i);
}

void bell_editor::clear_lesson(int lesson) {
  for (lesson_field f : all_fields) field_at(lesson, f).clear();
}

void bell_editor::set_time(int lesson, lesson_field hour, lesson_field minute, int minutes) {
  // 24:00 and later match no hour item, so the hour keeps what it showed.
  field_at(lesson, hour).select_text(std::to_string(minutes / 60));
  field_at(lesson, minute).select_text(two_digits(minutes % 60));
}

void bell_editor::recompute() {
  using enum lesson_field;
  const int last = schema_table::lesson_count;
  int first = 1;
  while (first <= last && field_at(first, start_hour).blank()) ++first;
  if (first > last) first = 1;
  for (int i = 1; i < first; ++i) clear_lesson(i);

  for (int i = first; i <= last; ++i) {
    const auto& sh = field_at(i, start_hour);
    const auto& sm = field_at(i, start_minute);
    const auto& len = field_at(i, length);
    set_time(i, end_hour, end_minute, sh.value() * 60 + sm.value() + len.value());
    if (sh.blank() || sm.blank() || len.blank()) {
      field_at(i, end_hour).clear();
      field_at(i, end_minute).clear();
    }
    if (i == last) break;
    const auto& eh = field_at(i, end_hour);
    const auto& em = field_at(i, end_minute);
    const auto& brk = field_at(i, break_after);
    set_time(i + 1, start_hour, start_minute, eh.value() * 60 + em.value() + brk.value());
    if (eh.blank() || em.blank() || brk.blank()) {
      field_at(i + 1, start_hour).clear();
      field_at(i + 1, start_minute).clear();
    }
  }

  for (int i = first; i <= last; ++i) {
    if (!field_at(i, start_hour).blank()) continue;
    for (lesson_field f : {start_minute, end_hour, end_minute, length, break_after}) field_at(i, f).clear();
  }
}

void bell_editor::grid_to_day(schema_table& shema) const {
  for (int i = 1; i <= schema_table::lesson_count; ++i) {
    for (lesson_field f : all_fields) shema.field(day_, i, f) = comb(i, f).text();
  }
}

// A name without a file of its own under remote\ would send the copy that
// is there, the users file say, to the master as a schema.
void bell_editor::push_in_remote_mode() {
  if (mode_() != operating_mode::remote || !push_) return;
  std::vector<std::string> names;
  std::ranges::copy_if(bells_.list().names(), std::back_inserter(names), has_remote_schema_file);
  push_(names);
}

operator_outcome bell_editor::BitBtn6Click() {
  auto& list = bells_.list();
  const std::string name = name_field_;
  if (!name.empty() && !list.full()) {
    if (list.contains(name)) return operator_outcome::showing("Такое расписание уже существует");
    if (auto refused = bells_.new_schema_name_refusal(dop(), name)) return say_refusal(refused);
    list.append(name);
    list.select(list.size() - 1);
    bells_.SaveSpisokLocal(dop());
    bells_.CreateNewShema(dop(), name);
    auto reply = ListView2Click();
    ComboEnabl();
    name_field_.clear();
    group_enabled_ = true;
    push_in_remote_mode();
    return reply;
  }
  // A full list and an empty name are both told, one box after the other.
  operator_outcome reply;
  if (list.full()) reply.messages.push_back("Количество расписаний не должно быть более  10");
  if (name.empty()) reply.messages.push_back("А название за Вас я писать буду?");
  return reply;
}

operator_outcome bell_editor::BitBtn7Click() {
  if (!bells_.list().selected()) return {};
  grid_to_day(bells_.shema());
  if (auto refused = bells_.SaveSpisZvon(dop())) return say_refusal(refused);
  auto reply = ListView2Click();
  push_in_remote_mode();
  return reply;
}

operator_outcome bell_editor::N10Click(int step) {
  auto& list = bells_.list();
  auto k = list.selected();
  if (!k) return {};
  const long t = static_cast<long>(*k) + step;
  if (t < 0 || t >= static_cast<long>(list.size())) return {};
  list.exchange(*k, static_cast<std::size_t>(t));
  list.select(static_cast<std::size_t>(t));
  bells_.SaveSpisokLocal(dop());
  auto reply = ListView2Click();
  ComboEnabl();
  push_in_remote_mode();
  return reply;
}

void bell_editor::N12Click() {
  auto k = bells_.list().selected();
  if (!k) return;
  rename_ = rename_window{bells_.list().names()[*k], *k};
}

operator_outcome bell_editor::Form4Button1Click(std::string_view new_name) {
  if (!rename_) return {};
  auto& list = bells_.list();
  // The old name is in the list too, so renaming to it is refused here.
  if (list.contains(new_name)) return operator_outcome::showing("Такое название схемы расписания уже существует");
  if (new_name.empty()) return operator_outcome::showing("Название не может быть пустым");
  if (auto refused = bells_.new_schema_name_refusal(dop(), new_name)) return say_refusal(refused);
  const rename_window window = *rename_;
  rename_.reset();
  // A reload may have shortened the list while the window was open.
  if (window.position >= list.size()) return {};
  // An old name that cannot be a schema's file name has no file to rename.
  bells_.rename_schema_file(dop(), window.old_name, new_name);
  list.rename(window.position, std::string(new_name));
  bells_.SaveSpisokLocal(dop());
  push_in_remote_mode();
  return {};
}

operator_outcome bell_editor::E1Click(operator_answer given) {
  auto& list = bells_.list();
  auto k = list.selected();
  if (!k) return {};
  const std::string name = list.names()[*k];
  if (given == operator_answer::none) {
    return operator_outcome::asking("Вы действительно хотите удалить расписание\n" + to_utf8(name));
  }
  if (given != operator_answer::yes) return {};
  if (list.size() == 1) {
    group_enabled_ = false;
    clear_grid();
  }
  // A name that cannot be a schema's file name has no file; its entry
  // still goes.
  bells_.delete_schema_file(dop(), name);
  list.remove(*k);
  bells_.SaveSpisokLocal(dop());
  operator_outcome reply;
  if (!list.empty()) {
    list.select(0);
    reply = ListView2Click();
  }
  ComboEnabl();
  push_in_remote_mode();
  return reply;
}

void bell_editor::LoadDen(int den) {
  check_day(den);
  const auto& shema = bells_.shema();
  for (int i = 1; i <= schema_table::lesson_count; ++i) {
    for (lesson_field f : all_fields) field_at(i, f).select_text(shema.field(den, i, f));
  }
}

void bell_editor::DenClick(int den) {
  check_day(den);
  grid_to_day(bells_.shema());
  day_ = den;
  LoadDen(day_);
}

operator_outcome bell_editor::sListView2Click(std::optional<std::size_t> index) {
  if (index) {
    bells_.list().select(*index);
  } else {
    bells_.list().clear_selection();
  }
  return ListView2Click();
}

operator_outcome bell_editor::ListView2Click() {
  auto name = bells_.list().selected_name();
  if (!name) return {};
  // A refused name reads like a missing file: `shema` stays as it was.
  auto reply = say_refusal(bells_.LoadShema(dop(), *name));
  LoadDen(day_);
  return reply;
}

void bell_editor::g1Click(int source) {
  check_day(source);
  auto& shema = bells_.shema();
  for (int i = 1; i <= schema_table::lesson_count; ++i) {
    for (lesson_field f : all_fields) shema.field(day_, i, f) = shema.field(source, i, f);
  }
  LoadDen(day_);
}

void bell_editor::PageControl1Change() {
  ComboEnabl();
  // The text is fixed to the byte: its first letter is the Latin "c".
  today_caption_ = "c" + from_utf8("егодня ") + DenNed(today());
}

std::array<day_preview, schema_table::day_count> bell_editor::week_preview() const {
  std::array<day_preview, schema_table::day_count> week{};
  if (!bells_.list().selected()) return week;
  schema_table shema = bells_.shema();
  grid_to_day(shema);
  normalise_before_save(shema);
  using enum lesson_field;
  for (int d = 1; d <= schema_table::day_count; ++d) {
    for (int i = 1; i <= schema_table::lesson_count; ++i) {
      if (!is_value(shema.field(d, i, start_hour))) continue;
      week[static_cast<std::size_t>(d - 1)][static_cast<std::size_t>(i - 1)] =
          lesson_span{time_of(shema.field(d, i, start_hour), shema.field(d, i, start_minute)),
                      time_of(shema.field(d, i, end_hour), shema.field(d, i, end_minute))};
    }
  }
  return week;
}

}  // namespace velmira
