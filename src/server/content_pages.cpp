// The operator's pages over the school's content: the moderation windows
// and the calendar editor.
#include "server/server.hpp"
#include "server/server_parts.hpp"

namespace velmira {

namespace {

moderation_window& window_of(server_state& state, moderation_kind kind) {
  return kind == moderation_kind::news ? state.news_moderation : state.notes_moderation;
}

master_file master_file_of(moderation_kind kind) {
  return kind == moderation_kind::news ? master_file::news : master_file::notes;
}

Server::moderation_view view_of(const moderation_window& window) { return {window.title(), window.rows()}; }

}  // namespace

Server::moderation_view Server::open_moderation(moderation_kind kind) {
  return parts_->operator_thread.call([this, kind] {
    auto& window = window_of(parts_->state, kind);
    window.open(!parts_->state.page.shows_local_mode());
    return view_of(window);
  });
}

Server::moderation_view Server::moderation(moderation_kind kind) {
  return parts_->operator_thread.call([this, kind] { return view_of(window_of(parts_->state, kind)); });
}

void Server::delete_checked_records(moderation_kind kind, const std::vector<std::size_t>& rows) {
  parts_->operator_thread.call([this, kind, &rows] {
    refuse_while_busy();
    if (!window_of(parts_->state, kind).SpeedButton1Click(rows)) return;
    if (!parts_->state.page.shows_local_mode()) send_to_master(parts_->remote, parts_->state.data, master_file_of(kind));
  });
}

operator_outcome Server::delete_all_records(moderation_kind kind, operator_answer answer) {
  return parts_->operator_thread.call([this, kind, answer] {
    refuse_while_busy();
    auto result = window_of(parts_->state, kind).SpeedButton2Click(answer);
    if (result.file_changed && !parts_->state.page.shows_local_mode()) {
      send_to_master(parts_->remote, parts_->state.data, master_file_of(kind));
    }
    return result.outcome;
  });
}

Server::calendar_view Server::calendar() {
  return parts_->operator_thread.call(
      [this] { return calendar_view{parts_->state.settings.calendar_on, parts_->state.calendar.document()}; });
}

void Server::BitBtn14Click(calendar_document document) {
  parts_->operator_thread.call([this, &document] {
    refuse_while_busy();
    auto& state = parts_->state;
    state.calendar.replace_document(std::move(document));
    if (state.page.shows_local_mode()) {
      state.calendar.KalendarGrafSave("");
      return;
    }
    state.calendar.KalendarGrafSave("remote\\");
    send_to_master(parts_->remote, state.data, master_file::calendar);
  });
}

}  // namespace velmira
