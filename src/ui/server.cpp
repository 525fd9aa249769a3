#include "ui/server.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/executor_work_guard.hpp>

#include "core/address_list.hpp"
#include "core/autostart.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/http_listener.hpp"
#include "core/listeners.hpp"
#include "core/open_files.hpp"
#include "core/operator_error.hpp"
#include "core/settings_file.hpp"
#include "core/tcp_listener.hpp"
#include "core/text_codec.hpp"
#include "maintenance/housekeeping.hpp"
#include "maintenance/second_timer.hpp"
#include "protocol/admin_commands.hpp"
#include "protocol/dispatcher.hpp"
#include "protocol/game_rooms.hpp"
#include "protocol/news_commands.hpp"
#include "protocol/publication_commands.hpp"
#include "protocol/publication_summary.hpp"
#include "protocol/login_commands.hpp"
#include "protocol/tcp_session.hpp"
#include "bells/bell_schedule.hpp"
#include "content/calendar_schedule.hpp"
#include "content/classrooms.hpp"
#include "users/users_file.hpp"
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

}  // namespace

// Declared in the order they must be built and, reversed, torn down: the
// io_context outlives everything that posts to it.
struct Server::parts {
  parts(Server& s)
      : data(s.options_.data_dir),
        autostart(s.options_.data_dir, s.options_.executable, s.options_.autostart_folder,
                  autostart_arguments(s.options_)),
        calendar(data, s.settings_),
        settings_file(data, s.settings_, s.page_, autostart,
                      calendar_editor_hooks{[this](const fs::path& rtf) { calendar.load(rtf); },
                                            [this] { calendar.clear(); }}),
        users_file(data, s.users_),
        bells(data),
        rooms(data),
        login(s.users_, s.greeting_),
        games(s.clock_, *s.log_),
        summary(data),
        news(data, s.users_, summary, *s.log_, s.clock_),
        publication(data, s.users_, summary, *s.log_, s.clock_),
        admin(s.settings_, login, data, *s.log_, admin_reloads_for(s)),
        dispatch(s.operator_lock_, *s.log_, command_families{login, games, news, publication, admin}),
        web_service(data, s.users_, *s.log_),
        connections_per_listener(connection_cap(raise_descriptor_limit(), 2)),
        tcp(io, line_protocol_sessions(dispatch), *s.log_, "TCP",
            {.max_connections = connections_per_listener, .keep_alive = true}),
        http(io, web_service, *s.log_, {.max_connections = connections_per_listener}),
        listeners(tcp, http, s.settings_, s.page_, *s.log_,
                  listener_hooks{[this] { summary.clear_timetable_and_menu(); }, [this] { housekeeping.start(); },
                                 [this] { housekeeping.stop(); }}),
        chores(data, s.settings_, s.page_, games, *s.log_, s.clock_),
        housekeeping(io, [this, &s] {
          std::lock_guard lock(s.operator_lock_);
          chores.tick();
        }) {}

  // What a pushed file makes the server reload; runs under the operator
  // lock the request already holds.
  admin_reloads admin_reloads_for(Server& s) {
    return {
        [this, &s] {
          settings_file.SetLoad("");
          s.publish_settings();
        },
        [this] { users_file.LoadUser(""); },
        [this] { rooms.KabLoad("raspisanie\\"); },
        [&s] { s.load_bell_list(); },
        [this] {
          calendar.load(data.file("kalendgraf.rtf"));
          calendar.KalendarGrafSave("");
        },
    };
  }

  asio::io_context io;
  asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
  data_directory data;
  autostart_entry autostart;
  calendar_schedule calendar;
  velmira::settings_file settings_file;
  velmira::users_file users_file;
  bell_schedule bells;
  classrooms rooms;
  login_commands login;
  game_rooms games;
  publication_summary summary;
  news_commands news;
  publication_commands publication;
  admin_commands admin;
  dispatcher dispatch;
  file_service web_service;
  std::size_t connections_per_listener;  // TCP and HTTP, within the descriptor limit
  tcp_listener tcp;
  http_listener http;
  server_listeners listeners;
  velmira::housekeeping chores;
  second_timer housekeeping;
};

Server::Server(server_options options)
    : options_(std::move(options)),
      own_clock_(options_.clock ? nullptr : std::make_unique<system_clock_source>()),
      clock_(options_.clock ? *options_.clock : *own_clock_),
      log_(std::make_unique<event_log>(clock_, settings_.log, options_.log_echo)),
      organisation_(from_utf8(options_.organisation_utf8)),
      parts_(std::make_unique<parts>(*this)) {}

Server::~Server() { shutdown(); }

void Server::FormCreate() {
  std::lock_guard lock(operator_lock_);
  auto& p = *parts_;
  try {
    page_.addresses = local_addresses();
    p.data.create_tree();
    p.data.reset_text_placeholders();
    auto settings_ini = p.data.file("setting.ini");
    if (!fs::exists(settings_ini)) {
      std::error_code ignored;  // a missing copy shows as a missing settings file next
      fs::copy_file(p.data.file("setting.000"), settings_ini, ignored);
    }
    p.settings_file.SetLoad("");
    publish_settings();
    title_ = std::string(cap) + " - " + options_.organisation_utf8;
    greeting_ = build_greeting(settings_, organisation_, "0");
    p.data.write_placeholder_pages();
    fs::create_directories(p.data.file("zvonok"));
  } catch (const std::exception& e) {
    throw startup_error(e.what());
  }
  start_pool();
  if (settings_.selected_mode == operating_mode::local) {
    try {
      load_local_subsystems();
    } catch (const std::exception& e) {
      throw startup_error(e.what());
    }
    start_listeners_locked();
    // The housekeeping runs from here on even when the listeners failed.
    p.housekeeping.start();
  }
}

std::optional<std::string> Server::PereklNaLockal() {
  std::lock_guard lock(operator_lock_);
  settings_.selected_mode = operating_mode::local;
  parts_->settings_file.SetSave("");
  publish_settings();
  greeting_ = build_greeting(settings_, organisation_, "");
  load_local_subsystems();
  auto message = start_listeners_locked();
  settings_.SetElVisible(true);
  return message;
}

// An operator message (a port out of range) also goes into the log, since
// a server without a window has nobody to show a message box to.
std::optional<std::string> Server::start_listeners_locked() {
  auto message = parts_->listeners.ServerStart();
  if (message) log_->append(": " + *message);
  return message;
}

void Server::publish_settings() { parts_->web_service.publish(web_settings_from(settings_)); }

void Server::load_bell_list() {
  if (auto refusal = parts_->bells.LoadSpisokLocal("zvonok")) log_->append(": " + *refusal);
}

void Server::load_local_subsystems() {
  load_bell_list();
  parts_->rooms.KabLoad("raspisanie\\");
  parts_->users_file.LoadUser("");
}

void Server::start_pool() {
  unsigned n = options_.threads ? options_.threads : std::max(2u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < n; ++i) {
    pool_.emplace_back([this] { parts_->io.run(); });
  }
}

void Server::shutdown() {
  if (!parts_) return;
  {
    std::lock_guard lock(operator_lock_);
    parts_->housekeeping.stop();
    parts_->tcp.stop();
    parts_->http.stop();
  }
  parts_->work.reset();
  parts_->io.stop();
  for (auto& t : pool_) t.join();
  pool_.clear();
  parts_.reset();
}

std::optional<std::string> Server::BitBtn1Click() {
  std::lock_guard lock(operator_lock_);
  if (page_.running_state == '0') return start_listeners_locked();
  parts_->listeners.ServerStop();
  return std::nullopt;
}

void Server::ServerStart() {
  std::lock_guard lock(operator_lock_);
  start_listeners_locked();
}

void Server::ServerStop() {
  std::lock_guard lock(operator_lock_);
  parts_->listeners.ServerStop();
}

int Server::cl() const { return parts_->listeners.cl(); }

}  // namespace velmira
