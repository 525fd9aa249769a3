#include "ui/console_routes.hpp"

#include <cstdio>
#include <stdexcept>

namespace velmira {

using json = nlohmann::json;

namespace {

template <class Map>
void add_each(Map& into, Map&& from) {
  for (auto& [path, route] : from) {
    if (!into.emplace(path, std::move(route)).second) throw std::logic_error("console route twice: " + path);
  }
}

}  // namespace

void console_routes::add(console_routes other) {
  add_each(pages, std::move(other.pages));
  add_each(actions, std::move(other.actions));
  add_each(raw, std::move(other.raw));
}

console_action writing(console_action action) {
  action.writes_files = true;
  return action;
}

console_routes page_routes() {
  console_routes routes = server_routes();
  routes.add(settings_routes());
  routes.add(content_routes());
  routes.add(users_routes());
  routes.add(bells_routes());
  return routes;
}

page_result show_page(const console_page& page, operator_desk& desk) {
  if (page.open) page.open(desk);
  return {page.state(desk), page.tag(desk)};
}

action_result run_action(const console_routes& routes, const console_action& action, operator_desk& desk,
                         const json& body, std::string_view if_match) {
  const auto& page = routes.pages.at(action.page);
  if (!if_match.empty() && if_match != "*" && if_match != page.tag(desk)) return {.stale = true};
  if (action.refused_while_busy) desk.refuse_while_busy();
  auto outcome = action.run(desk, body);
  return {false, std::move(outcome), {page.state(desk), page.tag(desk)}};
}

operator_answer answer_of(const json& body) {
  auto answer = body.value("answer", "");
  if (answer.empty()) return operator_answer::none;
  if (answer == "yes") return operator_answer::yes;
  if (answer == "no") return operator_answer::no;
  bad_request("answer is yes or no");
}

void bad_request(const std::string& what) { throw json::other_error::create(501, what, nullptr); }

page_tag& page_tag::add(std::string_view text) {
  for (unsigned char c : text) {
    hash_ ^= c;
    hash_ *= 1099511628211ull;  // FNV-1a's prime
  }
  // A separator no text holds, so ("ab", "c") and ("a", "bc") differ.
  hash_ ^= 0x100;
  hash_ *= 1099511628211ull;
  return *this;
}

page_tag& page_tag::add(std::int64_t number) { return add(std::to_string(number)); }

std::string page_tag::text() const {
  char text[24];
  std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(hash_));
  return text;
}

std::string tag_of_state(const json& state) { return page_tag().add(state.dump()).text(); }

}  // namespace velmira
