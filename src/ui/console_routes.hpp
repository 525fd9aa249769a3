#pragma once
// The console's routes as each page's file declares them: its pages (a GET
// that shows one), its actions (a POST acting on a page) and the few
// requests that are not JSON both ways. Each runs as one job on the
// operator's thread over the operator_desk, so an action, its busy check,
// the tag check and the page it returns see one state.
//
// Text is UTF-8 here and Windows-1251 in the models. A route that finds its
// body of the wrong shape throws nlohmann::json::exception (answered 400).
#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "core/http_listener.hpp"
#include "core/operator_outcome.hpp"
#include "server/operator_desk.hpp"

namespace velmira {

// A page: its state, and the tag of that state. The tag changes whenever
// anything a row index or a pending question refers to changes, so an
// action sent with the tag the operator saw can be refused once it would
// mean something else.
struct console_page {
  std::function<nlohmann::json(operator_desk&)> state;
  std::function<std::string(operator_desk&)> tag;
  // What a GET does first, when showing the page is itself an operation
  // (opening the moderation window fills its list); none: nothing.
  std::function<void(operator_desk&)> open = nullptr;
};

// An action: the page (its GET path) whose state the reply carries, and
// the operation. A body's "answer" ("yes"/"no") is the reply to the
// question the same action asked before.
struct console_action {
  std::string page;
  std::function<operator_outcome(operator_desk&, const nlohmann::json& body)> run;
  // Actions of a disabled window are refused (409) while the desk is busy;
  // a few controls stay usable (the log, the page shown, the close box).
  bool refused_while_busy = true;
  // Whether it may write a data file: such actions leave a line in the
  // service's journal, with the address they came from.
  bool writes_files = false;
};

// Marks an action as one that may write a data file.
console_action writing(console_action action);

// A request that is not JSON both ways (a CSV upload, a download).
using console_raw_route = std::function<http_reply(operator_desk&, const http_request&)>;

struct console_routes {
  std::map<std::string, console_page> pages;       // by GET path
  std::map<std::string, console_action> actions;   // by POST path
  std::map<std::string, console_raw_route> raw;    // by "METHOD /path"

  // Adds `other`'s routes; a path declared twice is a programming error.
  void add(console_routes other);
};

// The routes of every page's file together.
console_routes page_routes();
// The routes of each page's file.
console_routes server_routes();      // ui/server_api.cpp: "Сервер", the log, the backup
console_routes settings_routes();    // ui/settings_api.cpp
console_routes content_routes();     // ui/content_api.cpp: moderation, calendar
console_routes users_routes();       // ui/users_api.cpp
console_routes bells_routes();       // ui/bells_api.cpp: bell editor, classrooms

// ---- Running a route, on the operator's thread ----

// A page's state and its tag, as one job read them.
struct page_result {
  nlohmann::json state;
  std::string tag;
};
// Opens the page first when showing it is an operation.
page_result show_page(const console_page& page, operator_desk& desk);

// What one action did: refused as stale, or its outcome and the page after
// it. An `if_match` that does not name the page's current tag (empty and
// "*" name any) refuses the action before anything changes; so does a busy
// desk (operator_busy) for actions a disabled window refuses.
struct action_result {
  bool stale = false;
  operator_outcome outcome;
  page_result page;
};
action_result run_action(const console_routes& routes, const console_action& action, operator_desk& desk,
                         const nlohmann::json& body, std::string_view if_match);

// ---- Helpers the route files share ----

// The answer of a body: none, yes or no; anything else throws.
operator_answer answer_of(const nlohmann::json& body);
// A request that cannot be carried out as sent: answered 400.
[[noreturn]] void bad_request(const std::string& what);
// The tag of a state: a short hash of the texts `feed` hands to `add`.
class page_tag {
 public:
  page_tag& add(std::string_view text);
  page_tag& add(std::int64_t number);
  std::string text() const;

 private:
  std::uint64_t hash_ = 14695981039346656037ull;  // FNV-1a's offset basis
};
// The tag of a small page: its whole state.
std::string tag_of_state(const nlohmann::json& state);

}  // namespace velmira
