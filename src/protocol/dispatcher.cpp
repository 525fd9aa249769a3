#include "protocol/dispatcher.hpp"

#include "core/text_codec.hpp"
#include "protocol/game_rooms.hpp"
#include "protocol/login_commands.hpp"
#include "protocol/request_line.hpp"

namespace velmira {

std::optional<std::string> dispatcher::serve(std::string_view line) {
  auto request = request_line::from_wire(line);
  std::lock_guard lock(operator_lock_);
  log_.clear_if_over_request_threshold();

  const auto& c = request.comanda;
  std::optional<std::string> reply;
  if (c == "gamee") {
    reply = families_.games.gamee(request.rol, request.arguments);
  } else if (c == "zameV") {
    reply = families_.login.zameV(request.rol, request.arguments);
  } else if (c == "newsV") {
    reply = families_.login.newsV(request.rol, request.arguments);
  } else if (c == "conec") {
    reply = families_.login.conec(request.rol, request.arguments);
  }
  if (!reply) return std::nullopt;
  return to_utf8(*reply);
}

}  // namespace velmira
