#include "server/server.hpp"

#include "server/server_parts.hpp"

namespace velmira {

namespace asio = boost::asio;

Server::parts::parts(Server& s)
    // The editor pushes from inside its operation, already on the operator's
    // thread: straight to the channel.
    : state(s.options_, s.clock_,
            [this](const std::vector<std::string>& names) { desk.send_bells_to_master(names); }),
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
      housekeeping_timer(operator_thread.context(), [this] { chores.tick(); }),
      channel(io),
      remote(io, operator_thread.context(), channel, state.settings, state.settings_file, state.data, desk) {}

Server::Server(server_state_options options)
    : options_(std::move(options)),
      own_clock_(options_.clock ? nullptr : std::make_unique<system_clock_source>()),
      clock_(options_.clock ? *options_.clock : *own_clock_),
      parts_(std::make_unique<parts>(*this)) {}

Server::~Server() { shutdown(); }

operator_executor& Server::operator_thread() { return parts_->operator_thread; }

operator_desk& Server::desk() { return parts_->desk; }

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
  // The master's answer drives the pull.
  if (!local) return parts_->remote.NaUdServerSend("conecAdmi", "");
  parts_->desk.ServerStart();
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
    auto factory = state.data.file("setting.000");
    if (!fs::exists(factory) && !options_.installed_factory_settings.empty()) {
      factory = options_.installed_factory_settings;
    }
    fs::copy_file(factory, settings_ini, ignored);
    // The copy holds the passwords, as the file it becomes does.
    fs::permissions(settings_ini, static_cast<fs::perms>(new_file_permissions("setting.ini")), ignored);
  }
  state.load_settings();
  state.publish_greeting("0");
  state.data.write_placeholder_pages();
  fs::create_directories(state.data.file("zvonok"));
  const bool local = state.settings.selected_mode == operating_mode::local;
  if (local) state.load_local_subsystems();
  return local;
}

asio::io_context& Server::context() { return parts_->io; }

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

event_log& Server::log() { return parts_->state.log; }

const user_table& Server::users() const { return parts_->state.users; }

const std::string& Server::title() const { return parts_->state.title; }

greeting Server::connection_greeting() const { return *parts_->state.hello.get(); }

}  // namespace velmira
