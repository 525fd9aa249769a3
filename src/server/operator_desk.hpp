#pragma once
// What an operator's job reaches on the operator's thread: the server's
// state with its page models, and the operations of the "Сервер" and
// "Настройки" pages that span several subsystems (the listeners, the
// administration channel, the mode). The console's routes act on the page
// models directly; what they save goes through save_in_current_mode, the
// one place that knows a remote copy's files go to the master.
//
// Not thread-safe: used on the operator's thread only, inside a job of
// Server::operate or Server::call.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings_page.hpp"
#include "remote_mode/master_sends.hpp"
#include "remote_mode/remote_administration.hpp"
#include "server/server_state.hpp"

namespace velmira {

class server_listeners;

// It is also what the administration channel and the pull from the master
// act on: the mode switches, the operator's messages, the pulled copies'
// reloads.
class operator_desk final : public remote_owner {
 public:
  // All must outlive the desk.
  operator_desk(server_state& state, server_listeners& listeners, remote_administration& remote);
  operator_desk(const operator_desk&) = delete;
  operator_desk& operator=(const operator_desk&) = delete;

  server_state& state;

  // While a send to the master or a pull runs, the window is disabled.
  bool busy() const;
  // Throws operator_busy while busy().
  void refuse_while_busy() const;

  // `save(mode)` writes a page's file in the mode the server page shows;
  // in remote mode the copy it wrote under remote\ then goes to the master.
  template <class Save>
  decltype(auto) save_in_current_mode(master_file copy, Save&& save) {
    const auto mode = shown_mode();
    if constexpr (std::is_void_v<decltype(save(mode))>) {
      save(mode);
      send_if_remote(copy);
    } else {
      decltype(auto) result = save(mode);
      send_if_remote(copy);
      return result;
    }
  }
  // After a page changed its file of the shown mode itself (a moderation
  // deletion): a remote copy goes to the master.
  void send_if_remote(master_file copy);
  // The bell list and every schema named, then the end (remote mode).
  void send_bells_to_master(const std::vector<std::string>& schema_names);
  operating_mode shown_mode() const;

  // The start/stop button; a message when a port is out of range.
  std::optional<std::string> BitBtn1Click();
  // "Сохранить" of the settings page: the page's checks, then saving and the
  // mode change its table gives; the messages the operator is shown.
  std::vector<std::string> BitBtn13Click();
  // "Запросить данные с сервера".
  void BitBtn2Click();
  // Switches to local mode: saves the settings with local mode, rebuilds
  // the greeting, reloads the local data and starts the listeners.
  std::optional<std::string> PereklNaLockal();
  // A refused remote log-in while another page than "Сервер" is shown.
  void fall_back_after_refusal() override;
  // An operator message (a port out of range) also goes into the log.
  std::optional<std::string> ServerStart();
  void ServerStop();
  // 1 while the listeners are stopped or being stopped, 0 after a start.
  int cl() const;

  // The page the console shows: "server", "bells", "users" or "settings".
  // Every page change refreshes the bell editor's today caption and enabled
  // fields, as the window's did.
  void show_page(std::string page);
  const std::string& page_shown() const { return page_shown_; }

  // Messages no operator action produced (the master's replies, a switch to
  // local mode after a failed send), oldest first; UTF-8.
  const std::vector<std::string>& queued_messages() const { return queued_messages_; }
  void queue_message(std::string text) { queued_messages_.push_back(std::move(text)); }
  // Removes the first `count`, those the console has shown.
  void acknowledge_messages(std::size_t count);

  // A .tar.gz of the data directory without the operator's key; no
  // operation's writes are half in it, since they all run on this thread.
  std::string backup_archive() const;

 private:
  // remote_owner
  void switch_to_local() override { PereklNaLockal(); }
  bool server_page_shown() const override { return page_shown_ == "server"; }
  void show_message(std::string utf8) override { queue_message(std::move(utf8)); }
  // pull_owner
  void progress(int step, int total) override;
  void log(std::string_view utf8) override;
  void reload(pull_followup what) override;
  void classrooms_missing() override;
  void finished() override;

  server_listeners& listeners_;
  remote_administration& remote_;
  std::string page_shown_ = "server";
  std::vector<std::string> queued_messages_;
};

}  // namespace velmira
