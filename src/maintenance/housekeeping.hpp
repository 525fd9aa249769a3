#pragma once
// The server's once-a-second housekeeping in local mode: it expires idle game
// rooms, shows how many rooms are in use, and on the tick of 0:05:00 purges
// old announcements, notes, timetables and menus as the settings page's
// switches ask.
//
// It keeps no state between ticks: rooms, settings and files are read again
// each time. The time comes only from the injected clock, read once a tick.
//
// Thread-safety: none of its own. tick() runs on the operator's thread,
// which serialises it with the requests that rewrite the same files.
// Everything passed to the constructor must outlive this.
#include <functional>
#include <string>
#include <string_view>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/settings_page.hpp"
#include "maintenance/content_purges.hpp"

namespace velmira {

// Frees the idle game rooms at `now` and returns how many were in use.
using game_room_expiry = std::function<int(local_seconds now)>;

class housekeeping {
 public:
  housekeeping(const data_directory& data, const settings_page& settings, server_page& page,
               game_room_expiry expire_rooms, event_log& log, const clock_source& clock);

  // One second's work. Never throws: a purge that fails on input/output is
  // reported in the event log and the others still run.
  void tick();

 private:
  void purge_content(local_seconds now);
  void purge_news(std::chrono::local_days today, int months);
  void purge_notes(std::chrono::local_days today);
  void purge_dated(std::string_view folder, std::chrono::local_days today, int months, bool with_date_folders,
                   const std::string& removed_text_utf8);
  // Runs one purge, logs `removed_text_utf8` when it removed something, and
  // names what it had to keep for an unreadable date.
  void run_purge(std::string_view where, std::string_view kept_kind_utf8, const std::string& removed_text_utf8,
                 const std::function<purge_outcome()>& purge);

  const data_directory& data_;
  const settings_page& settings_;
  server_page& page_;
  game_room_expiry expire_rooms_;
  event_log& log_;
  const clock_source& clock_;
};

}  // namespace velmira
