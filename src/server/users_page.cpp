// The operator's "Пользователи" page over the server's user table.
#include "server/server.hpp"
#include "server/server_parts.hpp"

namespace velmira {

Server::users_view Server::users_page() {
  return parts_->operator_thread.call([this] {
    auto& page = parts_->state.users_page;
    return users_view{page.rows(), page.form()};
  });
}

void Server::fill_user_form(const user_form_values& values) {
  parts_->operator_thread.call([this, &values] {
    refuse_while_busy();
    parts_->state.users_page.form().take(values);
  });
}

operator_outcome Server::BitBtn4Click(const user_form_values& values, operator_answer answer) {
  return parts_->operator_thread.call([this, &values, answer] {
    refuse_while_busy();
    auto& page = parts_->state.users_page;
    page.form().take(values);
    return page.BitBtn4Click(answer);
  });
}

void Server::BitBtn5Click() {
  parts_->operator_thread.call([this] {
    refuse_while_busy();
    parts_->state.users_page.BitBtn5Click();
  });
}

void Server::sListView11DblClick(std::size_t row) {
  parts_->operator_thread.call([this, row] {
    refuse_while_busy();
    parts_->state.users_page.sListView11DblClick(row);
  });
}

void Server::sListView11Click(const std::vector<bool>& checked) {
  parts_->operator_thread.call([this, &checked] {
    refuse_while_busy();
    parts_->state.users_page.sListView11Click(checked);
  });
}

void Server::SortUser(int n) {
  parts_->operator_thread.call([this, n] {
    refuse_while_busy();
    parts_->state.users_page.SortUser(n);
  });
}

operator_outcome Server::P1Click(operator_answer answer) {
  return parts_->operator_thread.call([this, answer] {
    refuse_while_busy();
    return parts_->state.users_page.P1Click(answer);
  });
}

operator_outcome Server::N4Click(operator_answer answer) {
  return parts_->operator_thread.call([this, answer] {
    refuse_while_busy();
    return parts_->state.users_page.N4Click(answer);
  });
}

operator_outcome Server::N3Click(std::size_t row, operator_answer answer) {
  return parts_->operator_thread.call([this, row, answer] {
    refuse_while_busy();
    return parts_->state.users_page.N3Click(row, answer);
  });
}

void Server::BitBtn9Click() {
  parts_->operator_thread.call([this] {
    refuse_while_busy();
    auto& state = parts_->state;
    bool local = state.page.shows_local_mode();
    state.users_page.BitBtn9Click(local ? operating_mode::local : operating_mode::remote);
    if (!local) send_to_master(parts_->remote, state.data, master_file::users);
  });
}

import_report Server::import_users(std::string_view csv_bytes, bool generate_missing) {
  return parts_->operator_thread.call([this, csv_bytes, generate_missing] {
    refuse_while_busy();
    return velmira::import_users(parts_->state.users, csv_bytes, {.generate_missing = generate_missing});
  });
}

}  // namespace velmira
