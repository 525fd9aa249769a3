#pragma once
// Starting and stopping the two listeners together, with the checks, log
// lines and display state the operator sees.
//
// Called on the operator's thread only.
#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "core/event_log.hpp"
#include "core/settings_page.hpp"

namespace velmira {

class tcp_listener;
class http_listener;

struct listener_hooks {
  // Empties the six timetable and menu values of the publication summary.
  std::function<void()> clear_publication_values;
  std::function<void()> start_housekeeping;
  std::function<void()> stop_housekeeping;
};

class server_listeners {
 public:
  server_listeners(tcp_listener& tcp, http_listener& http, const settings_page& settings,
                   server_page& page, event_log& log, listener_hooks hooks);

  // Returns a message for the operator when a port is outside 1 to 65535.
  std::optional<std::string> ServerStart();
  void ServerStop();

  // 1 while the listeners are stopped or being stopped, 0 after a start.
  int cl() const { return cl_.load(); }

 private:
  void show_running(bool running);

  tcp_listener& tcp_;
  http_listener& http_;
  const settings_page& settings_;
  server_page& page_;
  event_log& log_;
  listener_hooks hooks_;
  std::atomic<int> cl_{0};
};

}  // namespace velmira
