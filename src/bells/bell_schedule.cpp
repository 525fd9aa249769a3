#include "bells/bell_schedule.hpp"

#include <string>
#include <system_error>
#include <utility>

#include "core/data_file.hpp"

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
  if (auto refused = schema_name_refusal(im)) return refused;
  if (auto text = read_file(schema_path(dop, im))) shema_ = parse_schema(*text);
  return std::nullopt;
}

refusal bell_schedule::CreateNewShema(std::string_view dop, std::string_view im) {
  if (auto refused = schema_name_refusal(im)) return refused;
  replace_file_atomically(schema_path(dop, im), format_schema(schema_table()));
  return std::nullopt;
}

refusal bell_schedule::SaveSpisZvon(std::string_view dop) {
  auto name = list_.selected_name();
  if (!name) return std::nullopt;
  // Refused before normalising, so a refused save leaves `shema` as edited.
  if (auto refused = schema_name_refusal(*name)) return refused;
  normalise_before_save(shema_);
  replace_file_atomically(schema_path(dop, *name), format_schema(shema_));
  return std::nullopt;
}

refusal bell_schedule::rename_schema_file(std::string_view dop, std::string_view from, std::string_view to) {
  if (auto refused = schema_name_refusal(from)) return refused;
  if (auto refused = schema_name_refusal(to)) return refused;
  std::error_code ignored;
  fs::rename(schema_path(dop, from), schema_path(dop, to), ignored);
  return std::nullopt;
}

refusal bell_schedule::delete_schema_file(std::string_view dop, std::string_view im) {
  if (auto refused = schema_name_refusal(im)) return refused;
  std::error_code ignored;
  fs::remove(schema_path(dop, im), ignored);
  return std::nullopt;
}

}  // namespace velmira
