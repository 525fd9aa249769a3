#pragma once
// The parts a Server owns, for the files that implement its operations.
// Internal to src/server.
#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <utility>

#include "core/address_list.hpp"
#include "core/data_file.hpp"
#include "core/fields.hpp"
#include "core/http_listener.hpp"
#include "core/listeners.hpp"
#include "core/open_files.hpp"
#include "core/operator_error.hpp"
#include "core/operator_executor.hpp"
#include "core/tcp_listener.hpp"
#include "core/text_codec.hpp"
#include "maintenance/housekeeping.hpp"
#include "maintenance/second_timer.hpp"
#include "protocol/protocol_stack.hpp"
#include "protocol/tcp_session.hpp"
#include "remote_mode/admin_message.hpp"
#include "remote_mode/master_pull.hpp"
#include "remote_mode/remote_administration.hpp"
#include "remote_mode/tcp_channel_transport.hpp"
#include "server/operator_desk.hpp"
#include "server/server_state.hpp"
#include "web/file_service.hpp"

#include "server/server.hpp"

namespace velmira {

namespace asio = boost::asio;

// Declared in the order they must be built and, reversed, torn down: the
// io_context outlives everything that posts to it, and the operator's
// thread, whose queued work may hold connections, goes before it.
struct Server::parts {
  explicit parts(Server& s);

  // The client protocol's and the file service's; the operator console's
  // listener has its own, small share of the reserve.
  static constexpr std::size_t client_listeners = 2;

  asio::io_context io;
  asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
  operator_executor operator_thread;
  server_state state;
  protocol_stack stack;
  file_service web_service;
  std::size_t connections_per_listener;  // within the descriptor limit, raised at start
  tcp_listener tcp;
  http_listener http;
  server_listeners listeners;
  velmira::housekeeping chores;
  second_timer housekeeping_timer;
  tcp_channel_transport channel;
  // The desk is the channel's owner and reaches it: built first, it only
  // keeps the reference until the channel exists.
  operator_desk desk{state, listeners, remote};
  remote_administration remote;
};

}  // namespace velmira
