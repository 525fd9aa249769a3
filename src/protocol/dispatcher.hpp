#pragma once
// Serving one request line of the client protocol: conversion, cutting,
// the log's housekeeping and the command table. A pure function from the
// line's bytes to the reply's bytes; sockets live in tcp_session.
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/event_log.hpp"

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

class dispatcher {
 public:
  dispatcher(std::mutex& operator_lock, event_log& log, command_families families)
      : operator_lock_(operator_lock), log_(log), families_(families) {}

  // `line` is the request without its LF (and without a CR before it).
  // Returns the reply as UTF-8 bytes, or nothing for requests that get none.
  // Runs under the operator lock. An exception means the operation failed;
  // the connection then ends.
  std::optional<std::string> serve(std::string_view line);

 private:
  // The operation a request names, tried in the protocol's order; the
  // reply is Windows-1251.
  std::optional<std::string> run(const struct request_line& request);

  std::mutex& operator_lock_;
  event_log& log_;
  command_families families_;
};

}  // namespace velmira
