#pragma once
// Serving one request line of the client protocol: conversion, cutting,
// the log's housekeeping and the command table. No sockets: tcp_session
// moves the bytes.
//
// Requests that only read (log-in and the permission queries, which read
// published snapshots; the game relay, which has its own lock) are served
// on the calling thread. Requests that change shared state or rewrite a
// data file are handed to the operator's thread, one after the other.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/event_log.hpp"
#include "protocol/request_line.hpp"

namespace velmira {

class admin_commands;
class login_commands;
class game_rooms;
class news_commands;
class publication_commands;

// The command families a dispatcher sends requests to; each must outlive it.
struct command_families {
  const login_commands& login;
  game_rooms& games;
  news_commands& news;
  publication_commands& publication;
  admin_commands& admin;
};

// What became of one request.
struct served_request {
  std::optional<std::string> reply;  // UTF-8; nothing for requests that get none
  // Empty when the request was served; otherwise what failed, and the
  // connection then ends.
  std::string failure;
};

class dispatcher {
 public:
  // Hands work to the operator's thread; it runs there later, in order.
  using operator_post = std::function<void(std::function<void()>)>;

  dispatcher(event_log& log, command_families families, operator_post to_operator)
      : log_(log), families_(families), to_operator_(std::move(to_operator)) {}

  // `line` is the request without its LF (and without a CR before it).
  // A request that only reads is served at once and its result returned;
  // `done` is then dropped unused. For the others serve() returns nothing
  // and `done(served_request)` runs later, once, on the operator's thread.
  // A template, so that the read path, every log-in and game move, builds
  // no std::function.
  template <class Completion>
  std::optional<served_request> serve(std::string_view line, Completion&& done) {
    auto request = accept(line);
    if (!changes_state(request)) return run_caught(request);
    to_operator_([this, request = std::move(request), done = std::forward<Completion>(done)]() mutable {
      done(run_caught(request));
    });
    return std::nullopt;
  }

  // Serves the line on the calling thread whatever it asks; for callers
  // that are the operator themselves. Throws when the operation fails.
  std::optional<std::string> serve_here(std::string_view line);

 private:
  // The line converted and cut, after the log's housekeeping that every
  // request does first.
  request_line accept(std::string_view line);
  static bool changes_state(const request_line& request);
  // The operation a request names, tried in the protocol's order; the
  // reply is Windows-1251.
  std::optional<std::string> run(const request_line& request);
  served_request run_caught(const request_line& request);

  event_log& log_;
  command_families families_;
  operator_post to_operator_;
};

}  // namespace velmira
