#pragma once
// The client protocol assembled: the command families and the dispatcher
// over them. The one place that wires them, for the server and for
// everything else that serves request lines (the fuzzer, tests).
#include "core/access_settings.hpp"
#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/greeting.hpp"
#include "core/published.hpp"
#include "protocol/admin_commands.hpp"
#include "protocol/dispatcher.hpp"
#include "protocol/game_rooms.hpp"
#include "protocol/login_commands.hpp"
#include "protocol/news_commands.hpp"
#include "protocol/publication_commands.hpp"
#include "protocol/publication_summary.hpp"
#include "users/user_table.hpp"

namespace velmira {

// What the protocol works on; every reference must outlive the stack.
struct protocol_dependencies {
  const data_directory& data;
  const user_table& users;
  const published<greeting>& hello;
  const published<access_settings>& access;
  event_log& log;
  const clock_source& clock;
  admin_reloads reloads;
  dispatcher::operator_post to_operator;
  // Randomness, fixed by tests and the fuzzer.
  player_draw draw = random_player_draw();
  news_commands::seed_source news_seed = news_commands::clock_seed;
};

class protocol_stack {
 public:
  explicit protocol_stack(protocol_dependencies d);
  protocol_stack(const protocol_stack&) = delete;
  protocol_stack& operator=(const protocol_stack&) = delete;

  dispatcher& dispatch() { return dispatch_; }
  game_rooms& games() { return games_; }
  publication_summary& summary() { return summary_; }

 private:
  login_commands login_;
  game_rooms games_;
  publication_summary summary_;
  news_commands news_;
  publication_commands publication_;
  admin_commands admin_;
  dispatcher dispatch_;
};

}  // namespace velmira
