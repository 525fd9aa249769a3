#include "remote_mode/master_pull.hpp"

#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <exception>
#include <memory>

#include "bells/bell_schedule.hpp"
#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {

namespace {

constexpr std::array<pull_step, 7> steps{{
    {true, "setting.ini", "setting.ini", pull_followup::settings, "Настройки сервера получены.",
     "настройки сервера", false},
    {true, "users.ini", "users.ini", pull_followup::users, "Данные пользователей получены.",
     "данные пользователей", false},
    {false, "/raspisanie/kab.ini", "kab.ini", pull_followup::classrooms,
     "Список кабинетов получен.", "список кабинетов", false},
    {false, "/zvonok/spisok.ini", "spisok.ini", pull_followup::bells,
     "Расписание звонков получено.", "расписание звонков", false},
    {false, "/kalendgraf.rtf", "kalendgraf.rtf", pull_followup::calendar,
     "Календарный график получен.", "календарный график", true},
    {false, "/zametki/data.ini", "zametki.ini", pull_followup::none, "Заметки получены.",
     "заметки", false},
    {false, "/news/data.ini", "news.ini", pull_followup::none, "Объявления получены.",
     "объявления", false},
}};

// The page the master's file service sends instead of a file when the Basic
// credentials are wrong; storing it would replace a good copy with it.
constexpr std::string_view refusal_page_start = "<HTML>";

bool is_refusal_page(std::string_view text) { return text.starts_with(refusal_page_start); }

constexpr std::size_t bell_list_header_lines = 6;
constexpr std::size_t bell_list_schedule_lines = 10;

}  // namespace

std::span<const pull_step> pull_steps() { return steps; }

std::string step_path(const pull_step& step, const master_source& source) {
  if (!step.credentials_path) return std::string(step.resource);
  return "/^" + source.admin_login + ";" + source.admin_password + "^" + std::string(step.resource);
}

step_verdict judge_step(std::string_view marker, bool empty_is_success) {
  if (marker == fetch_error_marker) return step_verdict::unreachable;
  if (is_refusal_page(marker)) return step_verdict::absent;
  if (marker.empty() && !empty_is_success) return step_verdict::absent;
  return step_verdict::stored;
}

std::string step_log_text(const pull_step& step, step_verdict verdict) {
  switch (verdict) {
    case step_verdict::stored:
      return std::string(step.success_utf8);
    case step_verdict::unreachable:
      return "Не удается получить " + std::string(step.subject_utf8) +
             ". Проверьте адрес (порт) сервера в настройках или попрорбуйте позже.";
    case step_verdict::absent:
      break;
  }
  return "Не удается получить " + std::string(step.subject_utf8) + ". Файл отсутствует на сервере.";
}

void store_remote_copy(const data_directory& data, std::string_view name, std::string_view text) {
  const auto relative = "remote\\" + std::string(name);
  auto path = data.file(relative);
  fs::create_directories(path.parent_path());
  std::string bytes(text);
  bytes += "\r\n";
  replace_file_atomically(path, bytes, {.permissions = new_file_permissions(relative)});
}

namespace {

// The non-empty lines of a bell list's schedule lines that pass `wanted`.
std::vector<std::string> schedule_lines(const std::vector<std::string>& bell_list_lines,
                                        bool (*wanted)(std::string_view)) {
  std::vector<std::string> names;
  for (std::size_t i = bell_list_header_lines;
       i < bell_list_lines.size() && i < bell_list_header_lines + bell_list_schedule_lines; ++i) {
    const auto& name = bell_list_lines[i];
    if (!name.empty() && wanted(name)) names.push_back(name);
  }
  return names;
}

}  // namespace

std::vector<std::string> schedule_names(const std::vector<std::string>& bell_list_lines) {
  return schedule_lines(bell_list_lines, has_remote_schema_file);
}

std::vector<std::string> left_out_schedule_names(const std::vector<std::string>& bell_list_lines) {
  return schedule_lines(bell_list_lines, reserved_schema_name);
}

std::string left_out_schedule_log_text(std::string_view name) {
  return "Расписание звонков \"" + to_utf8(name) + "\" не получено: так называется файл сервера в папке remote.";
}

namespace {

class master_pull : public std::enable_shared_from_this<master_pull> {
 public:
  master_pull(boost::asio::io_context& io, master_source source, data_directory data,
              pull_hooks hooks)
      : io_(io),
        source_(std::move(source)),
        data_(std::move(data)),
        hooks_(std::move(hooks)),
        authorization_(basic_authorization(source_.http_login, source_.http_password)) {}

  void run_step() {
    if (step_index_ == steps.size()) {
      owner([self = shared_from_this()] { call(self->hooks_.finished); });
      return;
    }
    const auto& step = steps[step_index_];
    const int number = static_cast<int>(step_index_) + 1;
    owner([self = shared_from_this(), number] {
      if (self->hooks_.progress) self->hooks_.progress(number, static_cast<int>(steps.size()));
    });
    fetch(step_path(step, source_), [self = shared_from_this()](std::string marker) {
      self->conclude_step(std::move(marker));
    });
  }

 private:
  static void call(const std::function<void()>& hook) {
    if (hook) hook();
  }

  void owner(std::function<void()> task) { hooks_.on_owner(std::move(task)); }

  void log(std::string_view utf8) {
    if (hooks_.log) hooks_.log(utf8);
  }

  // Fetches `path` and hands the marker text to `then` on the owner.
  void fetch(const std::string& path, std::function<void(std::string)> then) {
    http_fetch(io_, {source_.host, source_.http_port, path, authorization_},
               [self = shared_from_this(), then = std::move(then)](fetch_result result) mutable {
                 self->owner([then = std::move(then), marker = fetch_marker(result)]() mutable {
                   then(std::move(marker));
                 });
               });
  }

  // Runs on the owner.
  void conclude_step(std::string marker) {
    const auto& step = steps[step_index_];
    auto verdict = judge_step(marker, step.empty_is_success);
    if (verdict != step_verdict::stored) {
      log(step_log_text(step, verdict));
      if (step.followup == pull_followup::classrooms) call(hooks_.classrooms_emptied);
      return next_step();
    }
    if (!store(step.stored_as, marker)) return next_step();
    if (step.followup == pull_followup::bells) {
      pending_schedules_ = stored_schedule_names();
      return fetch_next_schedule();
    }
    call(followup_hook(step.followup));
    log(step_log_text(step, verdict));
    next_step();
  }

  const std::function<void()>& followup_hook(pull_followup followup) const {
    static const std::function<void()> nothing;
    switch (followup) {
      case pull_followup::settings:
        return hooks_.settings_received;
      case pull_followup::users:
        return hooks_.users_received;
      case pull_followup::classrooms:
        return hooks_.classrooms_received;
      case pull_followup::bells:
        return hooks_.bells_received;
      case pull_followup::calendar:
        return hooks_.calendar_received;
      case pull_followup::none:
        break;
    }
    return nothing;
  }

  // A copy that cannot be written is logged; the step then counts as failed
  // and what it would feed is not reloaded from a stale file.
  bool store(std::string_view name, std::string_view text) {
    try {
      store_remote_copy(data_, name, text);
      return true;
    } catch (const std::exception& e) {
      log("Не удается записать remote\\" + to_utf8(name) + ": " + e.what());
      return false;
    }
  }

  std::vector<std::string> stored_schedule_names() {
    try {
      auto lines = read_lines(data_.file("remote\\spisok.ini"));
      if (!lines) return {};
      for (const auto& name : left_out_schedule_names(*lines)) log(left_out_schedule_log_text(name));
      return schedule_names(*lines);
    } catch (const std::exception& e) {
      log(std::string("Не удается прочитать remote\\spisok.ini: ") + e.what());
    }
    return {};
  }

  // The schedules one after another, then the bell list is reloaded: it
  // refers to them. They write no log lines; a schedule the master has not
  // got is stored empty, one that could not be fetched keeps its old copy.
  void fetch_next_schedule() {
    if (schedule_index_ == pending_schedules_.size()) {
      const auto& step = steps[step_index_];
      call(hooks_.bells_received);
      log(step_log_text(step, step_verdict::stored));
      return next_step();
    }
    const auto& name = pending_schedules_[schedule_index_];
    fetch("/zvonok/" + name + ".ini", [self = shared_from_this()](std::string marker) {
      const auto& name = self->pending_schedules_[self->schedule_index_];
      if (marker != fetch_error_marker && !is_refusal_page(marker)) {
        self->store(name + ".ini", marker);
      }
      ++self->schedule_index_;
      self->fetch_next_schedule();
    });
  }

  void next_step() {
    ++step_index_;
    boost::asio::post(io_, [self = shared_from_this()] { self->run_step(); });
  }

  boost::asio::io_context& io_;
  master_source source_;
  data_directory data_;
  pull_hooks hooks_;
  std::string authorization_;
  std::size_t step_index_ = 0;
  std::vector<std::string> pending_schedules_;
  std::size_t schedule_index_ = 0;
};

}  // namespace

void start_master_pull(boost::asio::io_context& io, master_source source, data_directory data,
                       pull_hooks hooks) {
  auto pull = std::make_shared<master_pull>(io, std::move(source), std::move(data),
                                            std::move(hooks));
  boost::asio::post(io, [pull] { pull->run_step(); });
}

}  // namespace velmira
