#include "protocol/admin_commands.hpp"

#include <vector>

#include "bells/bell_schedule.hpp"
#include "core/data_file.hpp"
#include "core/settings_file.hpp"
#include "core/fields.hpp"
#include "core/text_codec.hpp"

namespace velmira {

// One file the channel exists for, as the remote copy names it.
struct admin_channel_file {
  std::string_view fil;
  std::string reply;          // after "soobs", Windows-1251
  std::string_view log_utf8;  // after the log prefix
  bool stored = true;         // "zvend" only announces the end of the bell files
  bool deleted_when_empty = false;
  std::function<void()> admin_reloads::*reload = nullptr;
};

namespace {

constexpr std::string_view forbidden_text = "Попытка уделенного управления. Отказано, т. к. удаленный доступ запрещен.";
constexpr std::string_view wrong_credentials_text =
    "Попытка уделенного управления. Отказано, т. к. неверные логин и пароль.";
constexpr std::string_view unknown_file_text =
    "Попытка уделенного управления. Отказано, т. к. передан недопустимый файл.";
constexpr std::string_view unloadable_settings_text =
    "Попытка уделенного управления. Отказано, т. к. файл настроек не может быть загружен.";
constexpr std::string_view unterminated_text =
    "Попытка уделенного управления. Отказано, т. к. сообщение передано не полностью.";

const std::vector<admin_channel_file>& channel_files() {
  static const std::vector<admin_channel_file> files = {
      {.fil = "setting.ini",
       .reply = from_utf8("Настройки сервера по удаленному доступу успешно переданы."),
       .log_utf8 = "Настройки сервера по удаленному доступу успешно получены.",
       .reload = &admin_reloads::reload_settings},
      {.fil = "kalendgraf.rtf",
       .reply = from_utf8("Календарный график по удаленному доступу успешно передан."),
       .log_utf8 = "Календарный график по удаленному доступу успешно получен.",
       .reload = &admin_reloads::reload_calendar},
      {.fil = "raspisanie\\kab.ini",
       .reply = from_utf8("Список кабинетов по удаленному доступу успешно передан."),
       .log_utf8 = "Список кабинетов по удаленному доступу успешно получен.",
       .reload = &admin_reloads::reload_classrooms},
      {.fil = "users.ini",
       .reply = from_utf8("Список пользователей по удаленному доступу успешно передан."),
       .log_utf8 = "Список пользователей по удаленному доступу успешно получен.",
       .reload = &admin_reloads::reload_users},
      {.fil = "zvend",
       .reply = from_utf8("Список звонков по удаленному доступу успешно передан."),
       .log_utf8 = "Список звонков по удаленному доступу успешно получен.",
       .stored = false,
       .reload = &admin_reloads::reload_bells},
      {.fil = "zametki\\data.ini",
       .reply = from_utf8("Заметки по удаленному доступу успешно переданы."),
       .log_utf8 = "Заметки по удаленному доступу успешно получены.",
       .deleted_when_empty = true},
      {.fil = "news\\data.ini",
       .reply = from_utf8("Объявления по удаленному доступу успешно переданы."),
       .log_utf8 = "Объявления по удаленному доступу успешно получены.",
       .deleted_when_empty = true},
  };
  return files;
}

const admin_channel_file* find_channel_file(std::string_view fil) {
  for (const auto& file : channel_files()) {
    if (file.fil == fil) return &file;
  }
  return nullptr;
}

// The bell list, or the file of a schema the master could also have made
// itself; the remote copy sends these before "zvend".
bool is_bell_file(std::string_view fil) {
  constexpr std::string_view folder = "zvonok\\", extension = ".ini";
  if (fil.size() < folder.size() + extension.size() || !fil.starts_with(folder) || !fil.ends_with(extension)) {
    return false;
  }
  auto name = fil.substr(folder.size(), fil.size() - folder.size() - extension.size());
  return name == "spisok" || !schema_name_refusal(name);
}

struct push_request {
  std::string_view fil, login, password, payload;
  // Without its "^" the message was cut short; taken as it stands, it would
  // empty the named file.
  bool terminated = false;
};

push_request parse_push(std::string_view rest) {
  push_request push;
  push.fil = cut_field(rest, ';');
  push.login = cut_field(rest, ';');
  push.password = cut_field(rest, ';');
  push.terminated = rest.find('^') != std::string_view::npos;
  push.payload = cut_field(rest, '^');
  return push;
}

// Text after the last "|" is not part of the file.
std::vector<std::string> payload_lines(std::string_view payload) {
  std::vector<std::string> lines;
  for (auto end = payload.find('|'); end != std::string_view::npos; end = payload.find('|')) {
    lines.emplace_back(payload.substr(0, end));
    payload.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace

std::string admin_commands::conec(std::string_view arguments) const {
  auto login = cut_field(arguments, ';');
  auto password = cut_field(arguments, ';');
  if (auto refused = credentials_refusal(login, password)) return refuse(*refused);
  return login_.connection_data("0");
}

std::optional<std::string> admin_commands::setti(std::string_view arguments) {
  auto push = parse_push(arguments);
  if (auto refused = credentials_refusal(push.login, push.password)) return refuse(*refused);
  if (!push.terminated) return refuse(unterminated_text);
  auto target = target_of(push.fil);
  if (!target) return refuse(unknown_file_text);
  // Stored first and loaded after, a settings file the loader stops on would
  // also stop every later start-up.
  if (push.fil == "setting.ini" && !loadable_settings(payload_lines(push.payload))) {
    return refuse(unloadable_settings_text);
  }
  if (target->path) SaveFilUd(*target->path, push.payload, new_file_permissions(push.fil));
  if (!target->known) {
    log_.append_event("");
    return std::nullopt;
  }
  return finish(*target->known, *target, push.payload);
}

std::optional<std::string_view> admin_commands::credentials_refusal(std::string_view login,
                                                                    std::string_view password) const {
  auto refusal = admin_credentials_refusal(*access_.get(), login, password);
  if (!refusal) return std::nullopt;
  return *refusal == admin_refusal::forbidden ? forbidden_text : wrong_credentials_text;
}

std::string admin_commands::refuse(std::string_view log_text_utf8) const {
  log_.append_event(log_text_utf8);
  return "error";
}

std::optional<admin_commands::push_target> admin_commands::target_of(std::string_view fil) const {
  if (const auto* known = find_channel_file(fil)) {
    return push_target{known, known->stored ? std::optional(data_.file(known->fil)) : std::nullopt};
  }
  auto path = is_bell_file(fil) ? data_.checked_file(fil) : std::nullopt;
  if (!path) return std::nullopt;
  return push_target{nullptr, std::move(path)};
}

void admin_commands::SaveFilUd(const fs::path& file, std::string_view payload, mode_t permissions) const {
  write_lines(file, payload_lines(payload), {.permissions = permissions});
}

std::string admin_commands::finish(const admin_channel_file& known, const push_target& target,
                                   std::string_view payload) {
  // The remote copy sends an empty payload for a file it no longer has.
  if (known.deleted_when_empty && payload.empty()) fs::remove(*target.path);
  if (known.reload) (reloads_.*known.reload)();
  log_.append_event(known.log_utf8);
  return "soobs" + known.reply;
}

}  // namespace velmira
