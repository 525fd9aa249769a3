#include "protocol/dispatcher.hpp"

#include "core/text_codec.hpp"
#include "protocol/admin_commands.hpp"
#include "protocol/game_rooms.hpp"
#include "protocol/login_commands.hpp"
#include "protocol/news_commands.hpp"
#include "protocol/publication_commands.hpp"
#include "protocol/request_line.hpp"

namespace velmira {

namespace {

using content_command = void (news_commands::*)(std::string_view, std::string_view);

// The announcement and note commands in the order they are tried; they
// never reply.
content_command content_command_for(std::string_view comanda) {
  static constexpr std::pair<std::string_view, content_command> commands[] = {
      {"newsD", &news_commands::newsD}, {"zameD", &news_commands::zameD}, {"newsR", &news_commands::newsR},
      {"zameR", &news_commands::zameR}, {"newsS", &news_commands::newsS}, {"zameS", &news_commands::zameS},
  };
  for (const auto& [word, command] : commands) {
    if (word == comanda) return command;
  }
  return nullptr;
}

}  // namespace

request_line dispatcher::accept(std::string_view line) {
  auto request = request_line::from_wire(line);
  log_.clear_if_over_request_threshold();
  return request;
}

std::optional<std::string> dispatcher::serve_here(std::string_view line) {
  auto reply = run(accept(line));
  if (!reply) return std::nullopt;
  return to_utf8(*reply);
}

bool dispatcher::changes_state(const request_line& request) {
  const auto c = request.comanda();
  return content_command_for(c) != nullptr || c == "setti" || c == "publl" || c == "pubde";
}

served_request dispatcher::run_caught(const request_line& request) {
  try {
    auto reply = run(request);
    if (!reply) return {};
    return {to_utf8(*reply), {}};
  } catch (const std::exception& e) {
    return {std::nullopt, e.what()};
  }
}

std::optional<std::string> dispatcher::run(const request_line& request) {
  const auto c = request.comanda();
  const auto rol = request.rol();
  const auto args = request.arguments();
  auto& f = families_;
  if (c == "gamee") return f.games.gamee(rol, args);
  if (c == "zameV") return f.login.zameV(rol, args);
  if (c == "newsV") return f.login.newsV(rol, args);
  if (auto command = content_command_for(c)) {
    (f.news.*command)(rol, args);
    return std::nullopt;
  }
  if (c == "conec" && rol == "Admi") return f.admin.conec(args);
  if (c == "conec") return f.login.conec(rol, args);
  if (c == "setti" && rol == "Admi") return f.admin.setti(args);
  if (c == "publl" && rol == "Disp") return f.publication.publish_timetable(rol, args);
  if (c == "pubde" && rol == "Disp") return f.publication.withdraw_timetable(rol, args);
  if (c == "publl" && rol == "Stol") return f.publication.publish_menu(rol, args);
  if (c == "pubde" && rol == "Stol") return f.publication.withdraw_menu(rol, args);
  return std::nullopt;
}

}  // namespace velmira
