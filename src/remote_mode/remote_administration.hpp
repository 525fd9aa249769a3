#pragma once
// The administration channel as the operator uses it: sending one message
// to the master (NaUdServerSend), the 200 ms poll of the master's replies
// (Timer4Timer) and what each reply does.
//
// Thread-safety: every member runs on the operator's thread. The transport
// works on the io_context; its completions are brought back here through
// `to_operator`, and the poll timer is an operator timer.
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "core/event_log.hpp"
#include "core/settings_page.hpp"
#include "remote_mode/channel_transport.hpp"

namespace velmira {

// What the replies and failures make the server do; each runs on the
// operator's thread.
struct remote_admin_hooks {
  // Switches to local mode (the master unreachable, the channel's data missing).
  std::function<void()> switch_to_local;
  // A refused log-in while a page other than "Сервер" is shown.
  std::function<void()> fall_back_after_refusal;
  // Whether the console shows the "Сервер" page.
  std::function<bool()> server_page_shown;
  // A message for the operator (UTF-8, lines joined by "\n").
  std::function<void(std::string)> show_message;
  // Runs the pull; `finished` is to be called once it is done.
  std::function<void(std::function<void()> finished)> pull;
};

class remote_administration {
 public:
  static constexpr std::chrono::milliseconds poll_interval{200};

  // `operator_context` runs the poll timer; `to_operator` brings transport
  // completions back to the operator's thread. All must outlive this.
  remote_administration(boost::asio::io_context& operator_context,
                        std::function<void(std::function<void()>)> to_operator, channel_transport& transport,
                        const settings_page& settings, event_log& log, remote_admin_hooks hooks);

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
  void on_refused();
  void TCPDis();

  std::function<void(std::function<void()>)> to_operator_;
  channel_transport& transport_;
  const settings_page& settings_;
  event_log& log_;
  remote_admin_hooks hooks_;
  boost::asio::steady_timer poll_timer_;
  bool polling_ = false;
  bool connecting_ = false;
  bool pulling_ = false;
  // Lines sent while the connection was being made, in order.
  std::deque<std::string> waiting_;
};

}  // namespace velmira
