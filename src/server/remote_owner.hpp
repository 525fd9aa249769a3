#pragma once
// What the administration channel and the pull from the master do to the
// rest of the server: the mode switches, the operator's messages, the
// reloads of pulled copies. Internal to src/server.
//
// Thread-safety: every member runs on the operator's thread.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/listeners.hpp"
#include "remote_mode/remote_administration.hpp"
#include "server/server_state.hpp"

namespace velmira {

class server_remote_owner final : public remote_owner {
 public:
  // `page_shown` is the page the console last reported; messages no
  // operator action produced are appended to `queued_messages`. All must
  // outlive this.
  server_remote_owner(server_state& state, server_listeners& listeners, const std::string& page_shown,
                      std::vector<std::string>& queued_messages);

  // Saves the settings with local mode, rebuilds the greeting, reloads the
  // local data and starts the listeners; returns what the start tells the
  // operator.
  std::optional<std::string> PereklNaLockal();
  // An operator message (a port out of range) also goes into the log.
  std::optional<std::string> start_listeners();

  // remote_owner
  void switch_to_local() override { PereklNaLockal(); }
  void fall_back_after_refusal() override;
  bool server_page_shown() const override { return page_shown_ == "server"; }
  void show_message(std::string utf8) override { queued_messages_.push_back(std::move(utf8)); }

  // pull_owner
  void progress(int step, int total) override;
  void log(std::string_view utf8) override;
  void reload(pull_followup what) override;
  void classrooms_missing() override;
  void finished() override;

 private:
  server_state& state_;
  server_listeners& listeners_;
  const std::string& page_shown_;
  std::vector<std::string>& queued_messages_;
};

}  // namespace velmira
