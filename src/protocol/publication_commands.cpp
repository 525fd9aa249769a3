#include "protocol/publication_commands.hpp"

#include <algorithm>

#include "core/data_file.hpp"
#include "core/fields.hpp"
#include "core/separators.hpp"
#include "core/text_codec.hpp"
#include "users/roles.hpp"

namespace velmira {

namespace {

constexpr int last_menu_on_page = 10;
const std::string error_reply = "error";

struct reply_texts {
  std::string timetable_published = from_utf8("soobsРасписание на ");
  std::string timetable_withdrawn = from_utf8("soobsПубликация расписания на ");
  std::string menu_published = from_utf8("soobsМеню на ");
  std::string menu_withdrawn = from_utf8("soobsПубликация меню на ");
  std::string published = from_utf8(" успешно опубликовано");
  std::string withdrawn = from_utf8(" успешно отменена");
  std::string never_published = from_utf8(" не было ранее опубликовано.");
};

const reply_texts& texts() {
  static const reply_texts t;
  return t;
}

// Items each ended by `terminator`; a tail without one still counts, since a
// client that forgot the last terminator still sent the item.
size_t count_items(std::string_view text, char terminator) {
  auto ended = static_cast<size_t>(std::count(text.begin(), text.end(), terminator));
  bool unterminated_tail = !text.empty() && text.back() != terminator;
  return ended + (unterminated_tail ? 1 : 0);
}

// rasp_dlya_informera: the line information displays read.
std::string timetable_record(std::string_view uchregden, std::string_view body) {
  auto rows = body;
  auto class_list = cut_field(rows, "||");
  return "rasp||" + std::string(uchregden) + "||" + std::to_string(count_items(rows, '|')) + "||" +
         std::to_string(count_items(class_list, '$')) + "||" + std::string(class_list) + "||" +
         std::string(rows);
}

const std::string& menu_page_header() {
  static const std::string header = join_lines({
      "<!DOCTYPE html>",
      "<html>",
      "<head>",
      "<style>",
      ".cwdtable {font-size:12px;color:#333333;width:100%;border-width: 1px;border-color: #729ea5;"
      "border-collapse: collapse;}",
      ".cwdtable th {font-size:12px;background:#0076d2;border-width: 1px;padding: 8px;border-style: solid;"
      "border-color: #729ea5;color:#ffffff;}",
      ".cwdtable tr {background:#ffffff;}",
      ".cwdtable td {font-size:12px;border-width: 1px;padding: 8px;border-style: solid;border-color: #0076d2;}",
      ".cwdtable th,.cwdtable td{text-align:center}",
      "#tip5 {font-size: 15px;",
      "text-align: center;",
      "font-weight: bold;}",
      "#tip6 {font-size: 30px;",
      "text-align: center;",
      "font-weight: bold;}",
      ".shadowtext {",
      "color: #0061B0;",
      "font-size: 14px;",
      "text-shadow: 2px 4px 3px rgba(0,97,176,0.3);",
      "text-align: center;",
      "}",
      "</style>",
      "</head>",
      "<body>",
  });
  return header;
}

// A menu file's body: its lines up to the "~end~" line, run together.
std::string menu_body(const std::vector<std::string>& lines) {
  std::string body;
  for (const auto& line : lines) {
    if (line == "~end~") break;
    body += line;
  }
  return body;
}

}  // namespace

std::string publication_date(std::string_view sent) {
  auto rest = sent;
  auto day = cut_field(rest, '.');
  auto month = cut_field(rest, '.');
  auto year = rest.size() == 4 ? rest.substr(2) : rest;
  return std::string(day) + "." + std::string(month) + "." + std::string(year);
}

bool publication_commands::authorised(std::string_view rol, std::string_view& rest,
                                      const std::string& role_name) const {
  auto login = cut_field(rest, simv);
  auto password = cut_field(rest, simv);
  auto user = users_.find(login, password, rol);
  return user && (*user)[user_column::role] == role_name;
}

std::optional<fs::path> publication_commands::request_path(std::string_view folder, std::string_view name,
                                                           std::string_view extension) const {
  if (!usable_file_name(name)) return std::nullopt;
  return data_.checked_file(std::string(folder) + "\\" + std::string(name) + std::string(extension));
}

std::optional<publication_commands::menu_day> publication_commands::menu_day_paths(std::string_view dat) const {
  auto folder = request_path("menu", dat, "");
  auto page = request_path("menu", dat, ".ini");
  if (!folder || !page) return std::nullopt;
  return menu_day{*folder, *page};
}

std::optional<fs::path> publication_commands::menu_file(std::string_view dat, std::string_view num_menu) const {
  if (!usable_file_name(dat)) return std::nullopt;
  return request_path("menu\\" + std::string(dat), num_menu, ".ini");
}

void publication_commands::log_change(log_category category, std::string_view rol, const char* event_utf8,
                                      std::string_view dat) const {
  log_.append_event(category, to_utf8(rol) + event_utf8 + to_utf8(dat));
}

std::string publication_commands::publish_timetable(std::string_view rol, std::string_view arguments) {
  auto rest = arguments;
  if (!authorised(rol, rest, roles::dispatcher())) return error_reply;
  auto uchregden = cut_field(rest, ';');
  auto dat = publication_date(cut_field(rest, ';'));
  auto file = request_path("raspisanie", dat, ".ini2");
  if (!file) return error_reply;

  write_lines(*file, {timetable_record(uchregden, rest)});
  summary_.timetable_published(clock_.now(), dat);
  summary_.SaveInfo();
  log_change(log_category::timetable_changes, rol, " публикация расписания на ", dat);
  return texts().timetable_published + dat + texts().published;
}

std::string publication_commands::withdraw_timetable(std::string_view rol, std::string_view arguments) {
  auto rest = arguments;
  if (!authorised(rol, rest, roles::dispatcher())) return error_reply;
  auto dat = publication_date(rest);
  auto file = request_path("raspisanie", dat, ".ini2");
  if (!file) return error_reply;

  if (!fs::remove(*file)) return texts().timetable_published + dat + texts().never_published;
  log_change(log_category::timetable_changes, rol, " отмена публикации расписания на ", dat);
  return texts().timetable_withdrawn + dat + texts().withdrawn;
}

std::optional<publication_commands::menu_request> publication_commands::parse_menu_request(
    std::string_view rol, std::string_view arguments, bool with_body) const {
  auto rest = arguments;
  if (!authorised(rol, rest, roles::canteen())) return std::nullopt;
  menu_request menu;
  menu.uchregden = cut_field(rest, ';');
  auto num_menu = cut_field(rest, ';');
  // A withdrawal ends with the date; a publication's body follows it.
  menu.dat = publication_date(with_body ? cut_field(rest, ';') : rest);
  menu.body = with_body ? rest : std::string_view();
  auto day = menu_day_paths(menu.dat);
  auto file = menu_file(menu.dat, num_menu);
  if (!day || !file) return std::nullopt;
  menu.day = std::move(*day);
  menu.file = std::move(*file);
  return menu;
}

std::string publication_commands::publish_menu(std::string_view rol, std::string_view arguments) {
  auto menu = parse_menu_request(rol, arguments, true);
  if (!menu) return error_reply;
  const auto& dat = menu->dat;

  fs::create_directories(menu->day.folder);
  write_lines(menu->file, {std::string(menu->body), "~end~"});
  Menu_Create(menu->uchregden, dat);
  summary_.menu_published(clock_.now(), dat);
  summary_.SaveInfo();
  log_change(log_category::menu_changes, rol, " публикация меню на ", dat);
  return texts().menu_published + dat + texts().published;
}

std::string publication_commands::withdraw_menu(std::string_view rol, std::string_view arguments) {
  auto menu = parse_menu_request(rol, arguments, false);
  if (!menu) return error_reply;
  const auto& dat = menu->dat;

  if (!fs::remove(menu->file)) return texts().menu_published + dat + texts().never_published;
  // The page is replaced in one step, or removed with the date's last menu,
  // so a reader never finds the date without a page while menus remain.
  if (!Menu_Create(menu->uchregden, dat)) fs::remove(menu->day.page);
  log_change(log_category::menu_changes, rol, " отмена публикации меню на ", dat);
  return texts().menu_withdrawn + dat + texts().withdrawn;
}

bool publication_commands::Menu_Create(std::string_view uchregden, std::string_view dat) const {
  auto day = menu_day_paths(dat);
  if (!day) return false;
  std::string page = menu_page_header();
  page += "<p class=\"shadowtext\"><b>" + std::string(uchregden) + "</b></p>\r\n";
  bool any_menu = false;
  for (int number = 1; number <= last_menu_on_page; ++number) {
    auto lines = read_lines(day->folder / (std::to_string(number) + ".ini"));
    if (!lines) continue;
    any_menu = true;
    page += menu_body(*lines) + "<br><br>\r\n";
  }
  if (!any_menu) return false;
  page += "</body></html>\r\n";
  replace_file_atomically(day->page, page);
  return true;
}

}  // namespace velmira
