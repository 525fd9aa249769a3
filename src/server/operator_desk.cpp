#include "server/operator_desk.hpp"

#include <algorithm>

#include "core/listeners.hpp"
#include "core/operator_error.hpp"
#include "maintenance/backup_archive.hpp"
#include "remote_mode/admin_message.hpp"
#include "remote_mode/remote_administration.hpp"

namespace velmira {

operator_desk::operator_desk(server_state& state, server_listeners& listeners, remote_administration& remote)
    : state(state), listeners_(listeners), remote_(remote) {}

bool operator_desk::busy() const { return remote_.busy(); }

void operator_desk::refuse_while_busy() const {
  if (busy()) throw operator_busy();
}

operating_mode operator_desk::shown_mode() const {
  return state.page.shows_local_mode() ? operating_mode::local : operating_mode::remote;
}

void operator_desk::send_if_remote(master_file copy) {
  if (shown_mode() == operating_mode::remote) send_to_master(remote_, state.data, copy);
}

void operator_desk::send_bells_to_master(const std::vector<std::string>& schema_names) {
  ZvonkiOtprav(remote_, state.data, schema_names);
}

std::optional<std::string> operator_desk::BitBtn1Click() {
  refuse_while_busy();
  if (state.page.running_state == '0') return ServerStart();
  ServerStop();
  return std::nullopt;
}

std::vector<std::string> operator_desk::BitBtn13Click() {
  refuse_while_busy();
  auto& settings = state.settings;
  if (auto refusal = settings_save_refusal(settings)) {
    settings.selected_mode = operating_mode::local;
    state.log.append_event(save_refusal_log_text(*refusal));
    return {save_refusal_message(*refusal)};
  }
  const bool now_local = state.page.shows_local_mode();
  const bool to_local = settings.selected_mode == operating_mode::local;
  if (now_local) {
    ServerStop();
    state.settings_file.SetSave("");
    state.publish_access();
    if (!to_local) {
      settings.SetElVisible(false);
      remote_.NaUdServerSend("conecAdmi", "");
      return {};
    }
    ServerStart();
    return {"Настройки сохранены"};
  }
  if (to_local) {
    // What the page showed of the master is discarded.
    state.load_settings();
    PereklNaLockal();
    return {"Настройки сохранены"};
  }
  state.settings_file.SetSave("remote\\");
  remote_.NaUdServerSend("settiAdmisetting.ini;", SchitFilUd(state.data.file("remote\\setting.ini")));
  return {};
}

void operator_desk::BitBtn2Click() {
  refuse_while_busy();
  remote_.BitBtn2Click();
}

std::optional<std::string> operator_desk::PereklNaLockal() {
  state.settings.selected_mode = operating_mode::local;
  state.settings_file.SetSave("");
  state.publish_access();
  state.publish_greeting("");
  state.load_local_subsystems();
  auto message = ServerStart();
  state.settings.SetElVisible(true);
  return message;
}

void operator_desk::fall_back_after_refusal() {
  state.load_settings();
  state.settings.selected_mode = operating_mode::local;
  state.settings_file.SetSave("");
  state.publish_access();
  state.settings.SetElVisible(true);
  state.load_local_subsystems();
}

std::optional<std::string> operator_desk::ServerStart() {
  auto message = listeners_.ServerStart();
  if (message) state.log.append_event(*message);
  return message;
}

void operator_desk::ServerStop() { listeners_.ServerStop(); }

int operator_desk::cl() const { return listeners_.cl(); }

void operator_desk::show_page(std::string page) {
  page_shown_ = std::move(page);
  state.bell_page.PageControl1Change();
}

void operator_desk::acknowledge_messages(std::size_t count) {
  queued_messages_.erase(queued_messages_.begin(),
                         queued_messages_.begin() + static_cast<std::ptrdiff_t>(std::min(count, queued_messages_.size())));
}

void operator_desk::progress(int step, int total) { state.page.pull_progress = server_page::progress{step, total}; }

void operator_desk::log(std::string_view utf8) { state.log.append_event(utf8); }

void operator_desk::reload(pull_followup what) {
  switch (what) {
    case pull_followup::settings:
      return state.settings_file.SetLoad("remote\\");
    case pull_followup::users:
      return state.users_page.LoadUser("remote\\");
    case pull_followup::classrooms:
      return state.rooms.KabLoad("remote\\");
    case pull_followup::bells:
      return state.load_bell_list("remote");
    case pull_followup::calendar:
      return state.calendar.load(state.data.file("remote\\kalendgraf.rtf"));
    case pull_followup::none:
      return;
  }
}

void operator_desk::classrooms_missing() { state.rooms.set_text(""); }

void operator_desk::finished() { state.page.pull_progress.reset(); }

std::string operator_desk::backup_archive() const { return build_backup_archive(state.data.root()); }

}  // namespace velmira
