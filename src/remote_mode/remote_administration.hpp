#pragma once
// The administration channel as the operator uses it: sending one message
// to the master (NaUdServerSend), the 200 ms poll of the master's replies
// (Timer4Timer), what each reply does, and the pull the master's acceptance
// starts.
//
// Thread-safety: every member runs on the operator's thread. The transport
// and the pull work on the network's io_context; their completions are
// brought back to the operator's context, which also runs the poll timer.
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <deque>
#include <string>
#include <string_view>

#include "core/data_directory.hpp"
#include "core/settings_file.hpp"
#include "core/settings_page.hpp"
#include "remote_mode/channel_transport.hpp"
#include "remote_mode/master_pull.hpp"

namespace velmira {

// What the replies, the failures and the pull make the server do; every
// member is called on the operator's thread. Event log texts (the channel's
// own as well as the pull's) go to log().
class remote_owner : public pull_owner {
 public:
  // Switches to local mode (the master unreachable, the channel's data missing).
  virtual void switch_to_local() = 0;
  // A refused log-in while a page other than "Сервер" is shown.
  virtual void fall_back_after_refusal() = 0;
  // Whether the console shows the "Сервер" page.
  virtual bool server_page_shown() const = 0;
  // A message for the operator (UTF-8, lines joined by "\n").
  virtual void show_message(std::string utf8) = 0;

 protected:
  ~remote_owner() = default;
};

class remote_administration : private pull_owner {
 public:
  static constexpr std::chrono::milliseconds poll_interval{200};

  // The transport and the pull run on `network`; `operator_context` is the
  // operator's, where their results are applied and the poll timer runs.
  // The master's address and the administration login are read from
  // `settings`, the HTTP port and credentials of the pull from the local
  // file as `file` last loaded it. All must outlive this and the last pull
  // it started.
  remote_administration(boost::asio::io_context& network, boost::asio::io_context& operator_context,
                        channel_transport& transport, const settings_page& settings, const settings_file& file,
                        const data_directory& data, remote_owner& owner);

  // Sends command + login ";" + password ";" + payload "^" (Windows-1251),
  // connecting first when the channel is closed.
  void NaUdServerSend(std::string_view command, std::string_view payload);
  // "Запросить данные с сервера".
  void BitBtn2Click() { NaUdServerSend("conecAdmi", ""); }

  // The poll's first half: what arrived since the last tick is one reply.
  void Timer4Timer();

  // True while a connection is being made or a pull runs: the window of a
  // remote copy is disabled then.
  bool busy() const { return connecting_ || pulling_; }

 private:
  void on_connected(bool connected);
  void send_now(std::string line);
  void start_poll();
  void arm_poll();
  void start_pull();
  void on_refused();
  void TCPDis();

  // pull_owner: the pull's reports pass to the owner; its end also ends
  // this side's pull.
  void progress(int step, int total) override { owner_.progress(step, total); }
  void log(std::string_view utf8) override { owner_.log(utf8); }
  void reload(pull_followup what) override { owner_.reload(what); }
  void classrooms_missing() override { owner_.classrooms_missing(); }
  void finished() override;

  boost::asio::io_context& network_;
  boost::asio::io_context& operator_context_;
  channel_transport& transport_;
  const settings_page& settings_;
  const settings_file& file_;
  const data_directory& data_;
  remote_owner& owner_;
  boost::asio::steady_timer poll_timer_;
  bool polling_ = false;
  bool connecting_ = false;
  bool pulling_ = false;
  // Lines sent while the connection was being made, in order.
  std::deque<std::string> waiting_;
};

}  // namespace velmira
