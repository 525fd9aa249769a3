#include "server/remote_owner.hpp"

namespace velmira {

server_remote_owner::server_remote_owner(server_state& state, server_listeners& listeners,
                                         const std::string& page_shown, std::vector<std::string>& queued_messages)
    : state_(state), listeners_(listeners), page_shown_(page_shown), queued_messages_(queued_messages) {}

std::optional<std::string> server_remote_owner::PereklNaLockal() {
  state_.settings.selected_mode = operating_mode::local;
  state_.settings_file.SetSave("");
  state_.publish_access();
  state_.publish_greeting("");
  state_.load_local_subsystems();
  auto message = start_listeners();
  state_.settings.SetElVisible(true);
  return message;
}

std::optional<std::string> server_remote_owner::start_listeners() {
  auto message = listeners_.ServerStart();
  if (message) state_.log.append_event(*message);
  return message;
}

void server_remote_owner::fall_back_after_refusal() {
  state_.load_settings();
  state_.settings.selected_mode = operating_mode::local;
  state_.settings_file.SetSave("");
  state_.publish_access();
  state_.settings.SetElVisible(true);
  state_.load_local_subsystems();
}

void server_remote_owner::progress(int step, int total) { state_.page.pull_progress = server_page::progress{step, total}; }

void server_remote_owner::log(std::string_view utf8) { state_.log.append_event(utf8); }

void server_remote_owner::reload(pull_followup what) {
  switch (what) {
    case pull_followup::settings:
      return state_.settings_file.SetLoad("remote\\");
    case pull_followup::users:
      return state_.users_page.LoadUser("remote\\");
    case pull_followup::classrooms:
      return state_.rooms.KabLoad("remote\\");
    case pull_followup::bells:
      return state_.load_bell_list("remote");
    case pull_followup::calendar:
      return state_.calendar.load(state_.data.file("remote\\kalendgraf.rtf"));
    case pull_followup::none:
      return;
  }
}

void server_remote_owner::classrooms_missing() { state_.rooms.set_text(""); }

void server_remote_owner::finished() { state_.page.pull_progress.reset(); }

}  // namespace velmira
