#include "server/server.hpp"

#include "maintenance/backup_archive.hpp"
#include "server/server_parts.hpp"

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

server_state_options state_options(const server_options& o, bell_editor::bell_push bell_push) {
  return {o.data_dir,   o.executable, o.autostart_folder, autostart_arguments(o), from_utf8(o.organisation_utf8),
          o.log_echo, std::move(bell_push)};
}

}  // namespace

Server::parts::parts(Server& s)
    // The editor pushes from inside its operation, already on the operator's
    // thread: straight to the channel, not through a Server call that would
    // wait for that thread.
    : state(state_options(s.options_,
                          [this](const std::vector<std::string>& names) { ZvonkiOtprav(remote, state.data, names); }),
            s.clock_),
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
      owner(state, listeners, page_shown, queued_messages),
      remote(io, operator_thread.context(), channel, state.settings, state.settings_file, state.data, owner) {}

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
  // The master's answer drives the pull.
  if (!local) return parts_->remote.NaUdServerSend("conecAdmi", "");
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
    auto factory = state.data.file("setting.000");
    if (!fs::exists(factory) && !options_.installed_factory_settings.empty()) {
      factory = options_.installed_factory_settings;
    }
    fs::copy_file(factory, settings_ini, ignored);
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
  return parts_->operator_thread.call([this] { return switch_to_local(); });
}

std::optional<std::string> Server::switch_to_local() { return parts_->owner.PereklNaLockal(); }

void Server::refuse_while_busy() const {
  if (parts_->remote.busy()) throw operator_busy();
}

std::vector<std::string> Server::BitBtn13Click() {
  return parts_->operator_thread.call([this]() -> std::vector<std::string> {
    refuse_while_busy();
    auto& state = parts_->state;
    auto& settings = state.settings;
    if (auto refusal = settings_save_refusal(settings)) {
      settings.selected_mode = operating_mode::local;
      state.log.append_event(save_refusal_log_text(*refusal));
      return {save_refusal_message(*refusal)};
    }
    const bool now_local = state.page.shows_local_mode();
    const bool to_local = settings.selected_mode == operating_mode::local;
    if (now_local) {
      parts_->listeners.ServerStop();
      state.settings_file.SetSave("");
      state.publish_access();
      if (!to_local) {
        settings.SetElVisible(false);
        parts_->remote.NaUdServerSend("conecAdmi", "");
        return {};
      }
      start_listeners();
      return {"Настройки сохранены"};
    }
    if (to_local) {
      // What the page showed of the master is discarded.
      state.load_settings();
      switch_to_local();
      return {"Настройки сохранены"};
    }
    state.settings_file.SetSave("remote\\");
    parts_->remote.NaUdServerSend("settiAdmisetting.ini;", SchitFilUd(state.data.file("remote\\setting.ini")));
    return {};
  });
}

void Server::BitBtn2Click() {
  parts_->operator_thread.call([this] {
    refuse_while_busy();
    parts_->remote.BitBtn2Click();
  });
}

void Server::show_page(std::string page) {
  parts_->operator_thread.call([this, &page] {
    parts_->page_shown = std::move(page);
    parts_->state.bell_page.PageControl1Change();
  });
}

std::vector<std::string> Server::queued_messages() {
  return parts_->operator_thread.call([this] { return parts_->queued_messages; });
}

void Server::acknowledge_messages(std::size_t count) {
  parts_->operator_thread.call([this, count] {
    auto& queued = parts_->queued_messages;
    queued.erase(queued.begin(), queued.begin() + static_cast<std::ptrdiff_t>(std::min(count, queued.size())));
  });
}

void Server::BitBtn3Click() { parts_->state.log.clear(); }

std::string Server::backup_archive() {
  return parts_->operator_thread.call([this] { return build_backup_archive(options_.data_dir); });
}

asio::io_context& Server::context() { return parts_->io; }

bool Server::busy() {
  return parts_->operator_thread.call([this] { return parts_->remote.busy(); });
}

void Server::send_copy_to_master(master_file file) {
  parts_->operator_thread.call([this, file] {
    refuse_while_busy();
    send_to_master(parts_->remote, parts_->state.data, file);
  });
}

void Server::send_bells_to_master() {
  parts_->operator_thread.call([this] {
    refuse_while_busy();
    ZvonkiOtprav(parts_->remote, parts_->state.data, parts_->state.bells.list().names());
  });
}

std::optional<std::string> Server::start_listeners() { return parts_->owner.start_listeners(); }

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
    refuse_while_busy();
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

void Server::edit_settings(const std::function<void(settings_page&)>& edit) {
  parts_->operator_thread.call([&] { edit(parts_->state.settings); });
}

}  // namespace velmira
