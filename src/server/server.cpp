#include "server/server.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <utility>

#include "core/address_list.hpp"
#include "core/data_file.hpp"
#include "core/http_listener.hpp"
#include "core/listeners.hpp"
#include "core/open_files.hpp"
#include "core/operator_executor.hpp"
#include "core/tcp_listener.hpp"
#include "core/text_codec.hpp"
#include "maintenance/housekeeping.hpp"
#include "maintenance/second_timer.hpp"
#include "protocol/protocol_stack.hpp"
#include "protocol/tcp_session.hpp"
#include "server/server_state.hpp"
#include "web/file_service.hpp"

namespace velmira {

namespace asio = boost::asio;

namespace {

std::vector<std::string> autostart_arguments(const server_options& o) {
  std::vector<std::string> args = {"--data-dir", o.data_dir.string()};
  if (!o.organisation_utf8.empty()) {
    args.push_back("--organisation");
    args.push_back(o.organisation_utf8);
  }
  return args;
}

server_state_options state_options(const server_options& o) {
  return {o.data_dir, o.executable, o.autostart_folder, autostart_arguments(o), from_utf8(o.organisation_utf8),
          o.log_echo};
}

}  // namespace

// Declared in the order they must be built and, reversed, torn down: the
// io_context outlives everything that posts to it, and the operator's
// thread, whose queued work may hold connections, goes before it.
struct Server::parts {
  explicit parts(Server& s)
      : state(state_options(s.options_), s.clock_),
        stack(state.protocol([this](std::function<void()> work) { operator_thread.post(std::move(work)); })),
        web_service(state.data, state.users, state.access, state.log),
        connections_per_listener(connection_cap(raise_descriptor_limit(), client_listeners)),
        tcp(io, line_protocol_sessions(stack.dispatch()), state.log, "TCP",
            {.max_connections = connections_per_listener, .keep_alive = true}),
        http(io, web_service, state.log, {.max_connections = connections_per_listener}),
        listeners(tcp, http, state.settings, state.page, state.log,
                  listener_hooks{[this] { stack.summary().clear_timetable_and_menu(); },
                                 [this] { housekeeping_timer.start(); }, [this] { housekeeping_timer.stop(); }}),
        chores(state.data, state.settings, state.page,
               [this](local_seconds now) { return stack.games().expire_idle(now); }, state.log, s.clock_),
        housekeeping_timer(operator_thread.context(), [this] { chores.tick(); }) {}

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
};

Server::Server(server_options options)
    : options_(std::move(options)),
      own_clock_(options_.clock ? nullptr : std::make_unique<system_clock_source>()),
      clock_(options_.clock ? *options_.clock : *own_clock_),
      parts_(std::make_unique<parts>(*this)) {}

Server::~Server() { shutdown(); }

void Server::FormCreate() {
  start_pool();
  parts_->operator_thread.call([this] { start_up(); });
}

void Server::start_up() {
  bool local = false;
  try {
    local = load_at_start_up();
  } catch (const std::exception& e) {
    throw startup_error(e.what());
  }
  if (!local) return;
  start_listeners();
  // The housekeeping runs from here on even when the listeners failed.
  parts_->housekeeping_timer.start();
}

bool Server::load_at_start_up() {
  auto& state = parts_->state;
  // Before anything is read: what an interrupted rewrite left is ours.
  remove_interrupted_writes(state.data.root());
  state.page.addresses = local_addresses();
  state.data.create_tree();
  state.data.reset_text_placeholders();
  auto settings_ini = state.data.file("setting.ini");
  if (!fs::exists(settings_ini)) {
    std::error_code ignored;  // a missing copy shows as a missing settings file next
    fs::copy_file(state.data.file("setting.000"), settings_ini, ignored);
  }
  state.load_settings();
  title_ = std::string(cap) + " - " + options_.organisation_utf8;
  state.publish_greeting("0");
  state.data.write_placeholder_pages();
  fs::create_directories(state.data.file("zvonok"));
  const bool local = state.settings.selected_mode == operating_mode::local;
  if (local) state.load_local_subsystems();
  return local;
}

std::optional<std::string> Server::PereklNaLockal() {
  return parts_->operator_thread.call([this] {
    auto& state = parts_->state;
    state.settings.selected_mode = operating_mode::local;
    state.settings_file.SetSave("");
    state.publish_access();
    state.publish_greeting("");
    state.load_local_subsystems();
    auto message = start_listeners();
    state.settings.SetElVisible(true);
    return message;
  });
}

std::optional<std::string> Server::start_listeners() {
  auto message = parts_->listeners.ServerStart();
  if (message) parts_->state.log.append_event(*message);
  return message;
}

void Server::start_pool() {
  unsigned n = options_.threads ? options_.threads : std::max(2u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < n; ++i) {
    pool_.emplace_back([this] { parts_->io.run(); });
  }
}

void Server::shutdown() {
  if (!parts_) return;
  auto& p = *parts_;
  // The operation in progress finishes; nothing queued behind it starts.
  p.operator_thread.stop();
  p.housekeeping_timer.stop();
  p.tcp.stop();
  p.http.stop();
  p.work.reset();
  p.io.stop();
  for (auto& t : pool_) t.join();
  pool_.clear();
  parts_.reset();
}

std::optional<std::string> Server::BitBtn1Click() {
  return parts_->operator_thread.call([this]() -> std::optional<std::string> {
    if (parts_->state.page.running_state == '0') return start_listeners();
    parts_->listeners.ServerStop();
    return std::nullopt;
  });
}

void Server::ServerStart() {
  parts_->operator_thread.call([this] { start_listeners(); });
}

void Server::ServerStop() {
  parts_->operator_thread.call([this] { parts_->listeners.ServerStop(); });
}

int Server::cl() const { return parts_->listeners.cl(); }

event_log& Server::log() { return parts_->state.log; }

const user_table& Server::users() const { return parts_->state.users; }

server_page Server::page_state() {
  return parts_->operator_thread.call([this] { return parts_->state.page; });
}

greeting Server::connection_greeting() const { return *parts_->state.hello.get(); }

void Server::read_settings(const std::function<void(const settings_page&)>& reader) {
  parts_->operator_thread.call([&] { reader(parts_->state.settings); });
}

}  // namespace velmira
