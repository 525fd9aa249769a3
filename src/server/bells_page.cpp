// The operator's page "Редактор звонков": the bell editor and the
// classrooms group beside it.
#include "server/server.hpp"
#include "server/server_parts.hpp"

namespace velmira {

void Server::read_bells(const std::function<void(const bell_editor&)>& reader) {
  parts_->operator_thread.call([&] { reader(parts_->state.bell_page); });
}

operator_outcome Server::sListView2Click(std::optional<std::size_t> index) {
  return parts_->operator_thread.call([this, index] {
    refuse_while_busy();
    auto& editor = parts_->state.bell_page;
    if (index && *index >= editor.schemas().size()) throw std::out_of_range("no such schema");
    return editor.sListView2Click(index);
  });
}

void Server::DenClick(int den) {
  parts_->operator_thread.call([this, den] {
    refuse_while_busy();
    parts_->state.bell_page.DenClick(den);
  });
}

bool Server::sCombChange(int lesson, lesson_field field, std::string text) {
  return parts_->operator_thread.call([this, lesson, field, &text] {
    refuse_while_busy();
    return parts_->state.bell_page.sCombChange(lesson, field, text);
  });
}

operator_outcome Server::BitBtn6Click(std::string name) {
  return parts_->operator_thread.call([this, &name] {
    refuse_while_busy();
    auto& editor = parts_->state.bell_page;
    editor.set_name_field(std::move(name));
    return editor.BitBtn6Click();
  });
}

operator_outcome Server::BitBtn7Click() {
  return parts_->operator_thread.call([this] {
    refuse_while_busy();
    return parts_->state.bell_page.BitBtn7Click();
  });
}

operator_outcome Server::N10Click(int step) {
  return parts_->operator_thread.call([this, step] {
    refuse_while_busy();
    return parts_->state.bell_page.N10Click(step);
  });
}

void Server::show_rename_window(bool open) {
  parts_->operator_thread.call([this, open] {
    refuse_while_busy();
    auto& editor = parts_->state.bell_page;
    if (open) {
      editor.N12Click();
    } else {
      editor.close_rename_window();
    }
  });
}

operator_outcome Server::rename_schema(std::string new_name) {
  return parts_->operator_thread.call([this, &new_name] {
    refuse_while_busy();
    auto& editor = parts_->state.bell_page;
    if (!editor.rename_window_state()) editor.N12Click();
    return editor.Form4Button1Click(new_name);
  });
}

operator_outcome Server::E1Click(operator_answer answer) {
  return parts_->operator_thread.call([this, answer] {
    refuse_while_busy();
    return parts_->state.bell_page.E1Click(answer);
  });
}

void Server::g1Click(int source) {
  parts_->operator_thread.call([this, source] {
    refuse_while_busy();
    parts_->state.bell_page.g1Click(source);
  });
}

std::vector<std::string> Server::classrooms() {
  return parts_->operator_thread.call([this] { return parts_->state.rooms.names(); });
}

operator_outcome Server::BitBtn8Click(std::string text) {
  return parts_->operator_thread.call([this, &text]() -> operator_outcome {
    refuse_while_busy();
    auto& state = parts_->state;
    state.rooms.set_text(text);
    if (auto refusal = state.rooms.save_refusal()) return operator_outcome::showing(*refusal);
    if (state.page.shows_local_mode()) {
      state.rooms.KabSave("raspisanie\\");
      return {};
    }
    state.rooms.KabSave("remote\\");
    send_to_master(parts_->remote, state.data, master_file::classrooms);
    return {};
  });
}

}  // namespace velmira
