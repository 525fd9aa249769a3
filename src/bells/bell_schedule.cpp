#include "bells/bell_schedule.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <system_error>
#include <utility>

#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {

namespace {

bool equals_ignoring_ascii_case(std::string_view text, std::string_view lower_case) {
  if (text.size() != lower_case.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != lower_case[i]) return false;
  }
  return true;
}

// "spisok" would make the schema file the list file itself; the master may
// sit on a file system that ignores letter case.
bool unusable_as_file_name(std::string_view name) {
  return !usable_file_name(name) || equals_ignoring_ascii_case(name, "spisok");
}

fs::path bell_list_path(const data_directory& data, std::string_view dop) {
  return data.file(std::string(dop) + "\\spisok.ini");
}

}  // namespace

refusal schema_name_refusal(std::string_view name) {
  if (!unusable_as_file_name(name)) return std::nullopt;
  return "Название схемы не может быть именем файла: нельзя использовать \"/\", \"\\\", \":\" и "
         "управляющие символы, а также пустое название, \".\", \"..\" и \"spisok\".";
}

bool reserved_schema_name(std::string_view name) {
  // The files the pull stores under remote\ beside the schemas, but the list.
  static constexpr std::array<std::string_view, 5> copies = {"users", "setting", "kab", "news", "zametki"};
  return std::ranges::any_of(copies, [&](std::string_view copy) { return equals_ignoring_ascii_case(name, copy); });
}

bool has_remote_schema_file(std::string_view name) { return !schema_name_refusal(name) && !reserved_schema_name(name); }

namespace {

refusal reserved_name_refusal(std::string_view name) {
  if (!reserved_schema_name(name)) return std::nullopt;
  return "Такое название занято файлом сервера: схему нельзя назвать users, setting, kab, news или zametki";
}

}  // namespace

refusal bell_schedule::new_schema_name_refusal(std::string_view dop, std::string_view name) const {
  if (auto refused = reserved_name_refusal(name)) return refused;
  return schema_file_refusal(dop, name);
}

refusal bell_schedule::schema_file_refusal(std::string_view dop, std::string_view im) const {
  if (auto refused = schema_name_refusal(im)) return refused;
  if (dop == remote_bell_folder) {
    if (auto refused = reserved_name_refusal(im)) return refused;
  }
  // Checked before anything is written: a name the file system refuses
  // would leave an entry in the list that no operation can use.
  if (!fits_with_its_temporary_name(data_.file(dop), to_utf8(im) + ".ini")) {
    return "Слишком длинное название схемы: файл с таким именем создать нельзя";
  }
  return std::nullopt;
}

fs::path bell_schedule::schema_path(std::string_view dop, std::string_view im) const {
  return data_.file(std::string(dop) + "\\" + std::string(im) + ".ini");
}

refusal bell_schedule::LoadSpisokLocal(std::string_view dop) {
  if (auto text = read_file(bell_list_path(data_, dop))) {
    auto contents = parse_bell_list(*text);
    texts_ = std::move(contents.texts);
    list_.assign(std::move(contents.names));
  }
  if (list_.empty()) return std::nullopt;
  list_.select(0);
  return LoadShema(dop, list_.names().front());
}

void bell_schedule::SaveSpisokLocal(std::string_view dop) {
  texts_.fill_defaults();
  replace_file_atomically(bell_list_path(data_, dop), format_bell_list(texts_, list_.names()));
}

refusal bell_schedule::LoadShema(std::string_view dop, std::string_view im) {
  if (auto refused = schema_file_refusal(dop, im)) return refused;
  if (auto text = read_file(schema_path(dop, im))) shema_ = parse_schema(*text);
  return std::nullopt;
}

refusal bell_schedule::CreateNewShema(std::string_view dop, std::string_view im) {
  if (auto refused = schema_file_refusal(dop, im)) return refused;
  replace_file_atomically(schema_path(dop, im), format_schema(schema_table()));
  return std::nullopt;
}

refusal bell_schedule::SaveSpisZvon(std::string_view dop) {
  auto name = list_.selected_name();
  if (!name) return std::nullopt;
  // Refused before normalising, so a refused save leaves `shema` as edited.
  if (auto refused = schema_file_refusal(dop, *name)) return refused;
  normalise_before_save(shema_);
  replace_file_atomically(schema_path(dop, *name), format_schema(shema_));
  return std::nullopt;
}

refusal bell_schedule::rename_schema_file(std::string_view dop, std::string_view from, std::string_view to) {
  if (auto refused = schema_file_refusal(dop, from)) return refused;
  if (auto refused = schema_file_refusal(dop, to)) return refused;
  std::error_code ignored;
  fs::rename(schema_path(dop, from), schema_path(dop, to), ignored);
  return std::nullopt;
}

refusal bell_schedule::delete_schema_file(std::string_view dop, std::string_view im) {
  if (auto refused = schema_file_refusal(dop, im)) return refused;
  std::error_code ignored;
  fs::remove(schema_path(dop, im), ignored);
  return std::nullopt;
}

}  // namespace velmira
