#include "protocol/news_commands.hpp"

#include <array>
#include <chrono>
#include <random>

#include "content/letter_code.hpp"
#include "core/data_file.hpp"
#include "core/fields.hpp"
#include "core/separators.hpp"
#include "core/text_codec.hpp"
#include "users/roles.hpp"

namespace velmira {

// What tells announcements and notes apart.
struct news_content_kind {
  std::string_view folder;
  bool dated_by_client;
  log_category category;
  const char* added_utf8;
  const char* delete_requested_utf8;
  const char* edited_utf8;
};

namespace {

constexpr size_t entry_key_fields = 5;

const news_content_kind announcements{"news", false, log_category::news_changes, " добавление новости",
                                      " запрос на удаление новости", " редактирование новости"};
const news_content_kind notes{"zametki", true, log_category::notes_changes, " добавление заметки",
                              " запрос на удаление заметки", " редактирование заметки"};

constexpr std::array<std::string_view, 7> colours = {"#ffB22222", "#ff008000", "#ffC71585", "#ffFF8C00",
                                                     "#ff6A5ACD", "#ffA0522D", "#ff000080"};

// A record is one line: a line break inside a client's text would cut it in
// two when the file is read back.
std::string single_line(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

std::string field(std::string_view value) { return std::string(value) + simv; }

// Fields 5 and 6: pupils and parents are shown by role, everyone else by name.
std::string author_fields(const TMassLogIn& user) {
  const auto& role = user[user_column::role];
  const auto& name = user[user_column::full_name];
  if (role == roles::pupil() || role == roles::parent()) {
    return field(role) + field(name + " " + user[user_column::class_name]);
  }
  return field(name) + field(role);
}

// The length of the entry key at the start of `rest`: five fields with
// their VTs; nothing when `rest` holds fewer.
std::optional<size_t> entry_key_length(std::string_view rest) {
  size_t end = 0;
  for (size_t i = 0; i < entry_key_fields; ++i) {
    end = rest.find(simv, end);
    if (end == std::string_view::npos) return std::nullopt;
    ++end;
  }
  return end;
}

// new_strok: the record with its text replaced; `key` is its entry key.
std::string edited_record(std::string_view line, std::string_view key, std::string_view otred_soob) {
  auto rest = line.substr(key.size());
  auto author_second = cut_field(rest, simv);
  cut_field(rest, simv);
  auto colour = cut_field(rest, simv);
  return std::string(key) + field(author_second) + std::string(otred_soob) + field(colour);
}

fs::path data_file_of(const data_directory& data, std::string_view folder) {
  return data.file(std::string(folder) + "\\data.ini");
}

}  // namespace

std::uint32_t news_commands::clock_seed() {
  return static_cast<std::uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
}

std::string news_commands::pick_colour() const {
  std::mt19937 generator(seed_());
  std::uniform_int_distribution<size_t> pick(0, colours.size() - 1);
  return std::string(colours[pick(generator)]);
}

std::optional<std::string> news_commands::add(const news_content_kind& kind, std::string_view rol,
                                              std::string_view arguments, local_seconds now) {
  auto rest = arguments;
  auto login = cut_field(rest, simv);
  auto password = cut_field(rest, simv);
  auto user = users_.find(login, password, rol);
  if (!user) return std::nullopt;
  cut_field(rest, simv);  // the image is not kept
  auto date = kind.dated_by_client ? single_line(cut_field(rest, simv)) : date_text(now);
  auto soob_text = single_line(cut_field(rest, simv));

  DobObjav(field(date) + field(time_text(now)) + field(StrToHex(login)) + field(StrToHex(password)) +
               author_fields(*user) + field(soob_text) + field(pick_colour()),
           kind.folder);
  log_.append_event(kind.category, to_utf8(login) + " " + to_utf8(rol) + kind.added_utf8);
  return (*user)[user_column::full_name];
}

void news_commands::newsS(std::string_view rol, std::string_view arguments) {
  auto now = clock_.now();
  auto author = add(announcements, rol, arguments, now);
  if (!author) return;
  summary_.announcement_added(now, *author);
  summary_.SaveInfo();
}

void news_commands::zameS(std::string_view rol, std::string_view arguments) {
  add(notes, rol, arguments, clock_.now());
}

void news_commands::change(const news_content_kind& kind, change_mode mode, std::string_view rol,
                           std::string_view arguments) {
  auto rest = arguments;
  auto login = cut_field(rest, simv);
  auto password = cut_field(rest, simv);
  if (!users_.find(login, password, rol)) return;
  DelRedaktNews(mode, kind.folder, rest);
  auto event = mode == change_mode::remove ? kind.delete_requested_utf8 : kind.edited_utf8;
  log_.append_event(kind.category, to_utf8(login) + " " + to_utf8(rol) + event);
}

void news_commands::newsD(std::string_view rol, std::string_view arguments) {
  change(announcements, change_mode::remove, rol, arguments);
}
void news_commands::zameD(std::string_view rol, std::string_view arguments) {
  change(notes, change_mode::remove, rol, arguments);
}
void news_commands::newsR(std::string_view rol, std::string_view arguments) {
  change(announcements, change_mode::edit, rol, arguments);
}
void news_commands::zameR(std::string_view rol, std::string_view arguments) {
  change(notes, change_mode::edit, rol, arguments);
}

void news_commands::DobObjav(std::string_view record_line, std::string_view folder) const {
  auto path = data_file_of(data_, folder);
  auto lines = lines_up_to_empty(read_lines(path).value_or(std::vector<std::string>{}));
  lines.emplace_back(record_line);
  write_lines(path, lines);
}

void news_commands::DelRedaktNews(change_mode mode, std::string_view folder, std::string_view rest) const {
  auto path = data_file_of(data_, folder);
  auto existing = read_lines(path);
  if (!existing) return;

  // With fewer than five fields there is no entry key, and no record is edited.
  auto key_length = mode == change_mode::edit ? entry_key_length(rest) : rest.size();
  std::string_view key = rest.substr(0, key_length.value_or(0));
  auto otred_soob = single_line(rest.substr(key.size()));

  std::vector<std::string> kept;
  for (auto& line : lines_up_to_empty(std::move(*existing))) {
    bool addressed = key_length && line.starts_with(key);
    if (!addressed) {
      kept.push_back(std::move(line));
    } else if (mode == change_mode::edit) {
      kept.push_back(edited_record(line, key, otred_soob));
    }
  }
  write_lines(path, kept);
}

}  // namespace velmira
