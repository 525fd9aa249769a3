#include "remote_mode/master_pull.hpp"

#include <array>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <exception>
#include <type_traits>

#include "bells/bell_schedule.hpp"
#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "remote_mode/http_fetch.hpp"

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

namespace asio = boost::asio;

// The fetches run on the pull's strand, one after the other; whatever
// touches the owner or the data directory runs on the operator's executor.
class master_pull {
 public:
  master_pull(asio::any_io_executor operator_executor, master_source source, data_directory data, pull_owner& owner)
      : operator_(std::move(operator_executor)),
        source_(std::move(source)),
        data_(std::move(data)),
        owner_(owner),
        authorization_(basic_authorization(source_.http_login, source_.http_password)) {}

  asio::awaitable<void> run() {
    const int total = static_cast<int>(steps.size());
    for (int number = 1; const auto& step : steps) {
      co_await on_operator([&] { owner_.progress(number, total); });
      auto path = step_path(step, source_);
      auto marker = co_await fetch(std::move(path));
      if (co_await on_operator([&] { return conclude_step(step, marker); })) co_await pull_schedules(step);
      ++number;
    }
    co_await on_operator([this] { owner_.finished(); });
  }

 private:
  // Runs `work` on the operator's executor and resumes the pull on its
  // strand once it is done, with what it returned or threw.
  template <class Work>
  asio::awaitable<std::invoke_result_t<Work&>> on_operator(Work work) {
    co_return co_await asio::co_spawn(
        operator_, [&work]() -> asio::awaitable<std::invoke_result_t<Work&>> { co_return work(); },
        asio::use_awaitable);
  }

  // The arguments of the coroutines awaited here are named objects moved
  // in, never temporaries: GCC 12 destroys a temporary argument of a
  // coroutine called inside co_await twice.
  asio::awaitable<std::string> fetch(std::string path) {
    fetch_request request{source_.host, source_.http_port, std::move(path), authorization_};
    co_return fetch_marker(co_await http_fetch(std::move(request)));
  }

  // On the operator's executor. True when the bell list was stored: its
  // schedules come next, and its reload and log line after them.
  bool conclude_step(const pull_step& step, const std::string& marker) {
    auto verdict = judge_step(marker, step.empty_is_success);
    if (verdict != step_verdict::stored) {
      owner_.log(step_log_text(step, verdict));
      if (step.followup == pull_followup::classrooms) owner_.classrooms_missing();
      return false;
    }
    if (!store(step.stored_as, marker)) return false;
    if (step.followup == pull_followup::bells) return true;
    if (step.followup != pull_followup::none) owner_.reload(step.followup);
    owner_.log(step_log_text(step, verdict));
    return false;
  }

  // The schedules one after another, then the bell list is reloaded: it
  // refers to them. They write no log lines; a schedule the master has not
  // got is stored empty, one that could not be fetched keeps its old copy.
  asio::awaitable<void> pull_schedules(const pull_step& bell_step) {
    auto names = co_await on_operator([this] { return stored_schedule_names(); });
    for (const auto& name : names) {
      auto path = "/zvonok/" + name + ".ini";
      auto marker = co_await fetch(std::move(path));
      if (marker == fetch_error_marker || is_refusal_page(marker)) continue;
      co_await on_operator([&] { store(name + ".ini", marker); });
    }
    co_await on_operator([&] {
      owner_.reload(pull_followup::bells);
      owner_.log(step_log_text(bell_step, step_verdict::stored));
    });
  }

  // A copy that cannot be written is logged; the step then counts as failed
  // and what it would feed is not reloaded from a stale file.
  bool store(std::string_view name, std::string_view text) {
    try {
      store_remote_copy(data_, name, text);
      return true;
    } catch (const std::exception& e) {
      owner_.log("Не удается записать remote\\" + to_utf8(name) + ": " + e.what());
      return false;
    }
  }

  std::vector<std::string> stored_schedule_names() {
    try {
      auto lines = read_lines(data_.file("remote\\spisok.ini"));
      if (!lines) return {};
      for (const auto& name : left_out_schedule_names(*lines)) owner_.log(left_out_schedule_log_text(name));
      return schedule_names(*lines);
    } catch (const std::exception& e) {
      owner_.log(std::string("Не удается прочитать remote\\spisok.ini: ") + e.what());
    }
    return {};
  }

  asio::any_io_executor operator_;
  master_source source_;
  data_directory data_;
  pull_owner& owner_;
  std::string authorization_;
};

asio::awaitable<void> run_pull(master_pull pull) { co_await pull.run(); }

}  // namespace

void start_master_pull(asio::io_context& io, asio::any_io_executor operator_executor, master_source source,
                       data_directory data, pull_owner& owner) {
  master_pull pull(std::move(operator_executor), std::move(source), std::move(data), owner);
  // What the owner's reloads throw is not the pull's to swallow: it goes on
  // to the thread running `io`, as it went to the operator's before.
  asio::co_spawn(asio::make_strand(io), run_pull(std::move(pull)), [](std::exception_ptr error) {
    if (error) std::rethrow_exception(error);
  });
}

}  // namespace velmira
