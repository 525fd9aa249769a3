#pragma once
// "publl" and "pubde" with the role codes "Disp" and "Stol": the dispatcher
// publishes and withdraws the timetable of a day, the canteen the menus of
// a day. Replies are Windows-1251.
//
// Runs on the operator's thread only, which serialises every rewrite.
// A data_file_error or std::filesystem::filesystem_error means the request
// failed part-way; the connection then ends.
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "protocol/publication_summary.hpp"
#include "users/user_table.hpp"

namespace velmira {

// `dat`: day "." month "." year as sent, a four-character year cut to its
// last two; a missing "." leaves the parts before it empty.
std::string publication_date(std::string_view sent);

class publication_commands {
 public:
  // Everything passed in must outlive this.
  publication_commands(const data_directory& data, const user_table& users, publication_summary& summary,
                       event_log& log, const clock_source& clock)
      : data_(data), users_(users), summary_(summary), log_(log), clock_(clock) {}

  // "publl" + "Disp": login VT password VT institution ";" date ";" classes "||" rows.
  std::string publish_timetable(std::string_view rol, std::string_view arguments);
  // "pubde" + "Disp": login VT password VT date.
  std::string withdraw_timetable(std::string_view rol, std::string_view arguments);
  // "publl" + "Stol": login VT password VT institution ";" number ";" date ";" body.
  std::string publish_menu(std::string_view rol, std::string_view arguments);
  // "pubde" + "Stol": login VT password VT institution ";" number ";" date.
  std::string withdraw_menu(std::string_view rol, std::string_view arguments);

  // Rebuilds the page menu\DATE.ini from the menus 1 to 10 of `dat`; writes
  // nothing and returns false when none of them exists or `dat` cannot be
  // a file name.
  bool Menu_Create(std::string_view uchregden, std::string_view dat) const;

 private:
  // The folder and the page of the menus of one date.
  struct menu_day {
    fs::path folder, page;
  };

  // Cuts login and password off `rest`; true when they belong to an active
  // user of `rol` whose role is `role_name`.
  bool authorised(std::string_view rol, std::string_view& rest, const std::string& role_name) const;
  // folder "\" name extension, when `name`, taken from a request, is a
  // usable file name; the folder is trusted.
  std::optional<fs::path> request_path(std::string_view folder, std::string_view name,
                                       std::string_view extension) const;
  // A canteen's publish or withdraw request, authorised and checked.
  struct menu_request {
    std::string_view uchregden;
    std::string dat;
    std::string_view body;  // empty for a withdrawal
    menu_day day;
    fs::path file;
  };
  // Nothing when the user is not the canteen or the date or the number
  // cannot be a file name.
  std::optional<menu_request> parse_menu_request(std::string_view rol, std::string_view arguments,
                                                 bool with_body) const;
  std::optional<menu_day> menu_day_paths(std::string_view dat) const;
  std::optional<fs::path> menu_file(std::string_view dat, std::string_view num_menu) const;
  void log_change(log_category category, std::string_view rol, const char* event_utf8,
                  std::string_view dat) const;

  const data_directory& data_;
  const user_table& users_;
  publication_summary& summary_;
  event_log& log_;
  const clock_source& clock_;
};

}  // namespace velmira
