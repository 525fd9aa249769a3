// velmira: the school information server.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <signal.h>
#include <optional>
#include <string>
#include <unistd.h>

#include "core/autostart.hpp"
#include "core/data_directory_lock.hpp"
#include "core/data_file.hpp"
#include "maintenance/backup_archive.hpp"
#include "core/log_echo.hpp"
#include "ui/console_access.hpp"
#include "ui/operator_console.hpp"
#include "server/server.hpp"

namespace {

constexpr const char* usage =
    "usage: velmira [--data-dir DIR] [--organisation NAME] [--console ADDR:PORT | --no-console] [--help]\n"
    "       velmira --backup FILE [--with-key] [--data-dir DIR]\n"
    "       velmira --restore FILE [--data-dir DIR]\n"
    "\n"
    "  --data-dir DIR        keep the data files in DIR (default: the executable's directory)\n"
    "  --organisation NAME   the school's name, shown in the title and sent to clients\n"
    "  --console ADDR:PORT   where the operator console listens (default: 127.0.0.1:7080;\n"
    "                        an IPv6 address in brackets, port 0 for a free one)\n"
    "  --no-console          run without the operator console\n"
    "  --backup FILE         write a .tar.gz of the data files to FILE and exit; a running\n"
    "                        server may go on meanwhile\n"
    "  --with-key            with --backup: the operator console's key too\n"
    "  --restore FILE        put the files of a backup back into the data directory and exit;\n"
    "                        refused while a server runs on it\n"
    "  --help                print this text\n";

// Where an installed server's factory settings are; the variable is for
// tests of an unpacked package, whose files are not under the prefix.
constexpr const char* factory_settings_variable = "VELMIRA_FACTORY_SETTINGS_DIR";

struct command_line {
  std::filesystem::path data_dir;
  std::string organisation;
  std::optional<velmira::console_address> console = velmira::console_address{"127.0.0.1", 7080};
  std::filesystem::path backup;
  std::filesystem::path restore;
  bool with_key = false;
  bool help = false;
};

std::filesystem::path executable_path() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path("velmira") : self;
}

// Returns nothing and prints why when the command line is not understood.
std::optional<command_line> parse(int argc, char** argv) {
  command_line c;
  c.data_dir = executable_path().parent_path();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--help" || arg == "-h") {
      c.help = true;
    } else if (arg == "--data-dir" || arg == "--organisation" || arg == "--console" || arg == "--backup" ||
               arg == "--restore") {
      const char* v = value();
      if (v == nullptr) {
        std::cerr << "velmira: " << arg << " needs a value\n" << usage;
        return std::nullopt;
      }
      if (arg == "--data-dir") c.data_dir = std::filesystem::absolute(v);
      if (arg == "--organisation") c.organisation = v;
      if (arg == "--backup") c.backup = std::filesystem::absolute(v);
      if (arg == "--restore") c.restore = std::filesystem::absolute(v);
      if (arg == "--console") {
        c.console = velmira::parse_console_address(v);
        if (!c.console) {
          std::cerr << "velmira: --console needs ADDR:PORT, e.g. 127.0.0.1:7080 or [::1]:7080\n" << usage;
          return std::nullopt;
        }
      }
    } else if (arg == "--no-console") {
      c.console.reset();
    } else if (arg == "--with-key") {
      c.with_key = true;
    } else {
      std::cerr << "velmira: unknown option " << arg << "\n" << usage;
      return std::nullopt;
    }
  }
  if (!c.backup.empty() && !c.restore.empty()) {
    std::cerr << "velmira: --backup and --restore are two runs\n" << usage;
    return std::nullopt;
  }
  if (c.with_key && c.backup.empty()) {
    std::cerr << "velmira: --with-key goes with --backup\n" << usage;
    return std::nullopt;
  }
  return c;
}

std::filesystem::path installed_factory_settings() {
  const char* dir = std::getenv(factory_settings_variable);
  if (dir && *dir) return std::filesystem::path(dir) / "setting.000";
  return VELMIRA_INSTALLED_FACTORY_SETTINGS;
}

// Whole files one by one, with no lock: a server may run meanwhile (see
// maintenance/backup_archive.hpp for what that means for consistency).
int back_up(const command_line& c) {
  try {
    auto bytes = velmira::build_backup_archive(
        c.data_dir, {.with_key = c.with_key, .left_out = {c.backup}});
    // The archive holds the users' passwords: for its owner's eyes only.
    velmira::replace_file_atomically(c.backup, bytes, {.permissions = 0600});
  } catch (const std::exception& e) {
    std::cerr << "velmira: backup failed: " << e.what() << "\n";
    return 1;
  }
  std::cout << "velmira: backup of " << c.data_dir.string() << " written to " << c.backup.string() << "\n";
  return 0;
}

int restore(const command_line& c) {
  try {
    // Held until the end, so that no server starts on half-restored files.
    velmira::data_directory_lock lock(c.data_dir);
    auto archive = velmira::read_file(c.restore);
    if (!archive) throw std::runtime_error("no file " + c.restore.string());
    auto files = velmira::restore_backup_archive(*archive, c.data_dir);
    std::cout << "velmira: " << files << " files of " << c.restore.string() << " restored into "
              << c.data_dir.string() << "\n";
  } catch (const velmira::data_directory_busy& e) {
    std::cerr << "velmira: restore refused: " << e.what() << "; stop it first\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "velmira: restore failed: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  auto args = parse(argc, argv);
  if (!args) return 2;
  if (args->help) {
    std::cout << usage;
    return 0;
  }
  if (!args->backup.empty()) return back_up(*args);
  if (!args->restore.empty()) return restore(*args);

  // Before anything is written into the directory: a second server there
  // would undo the first one's writes.
  std::optional<velmira::data_directory_lock> lock;
  try {
    lock.emplace(args->data_dir);
  } catch (const std::exception& e) {
    std::cerr << "velmira: " << e.what() << "\n";
    return 1;
  }

  // The signals are waited for synchronously by this thread alone.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  velmira::server_state_options options;
  options.data_dir = args->data_dir;
  options.executable = executable_path();
  options.installed_factory_settings = installed_factory_settings();
  options.autostart_folder = velmira::autostart_entry::user_autostart_folder();
  options.organisation_utf8 = args->organisation;
  // Everything this process prints while it runs goes through the echo, so a
  // standard output nobody reads never stops the server; it outlives the
  // server, whose log writes to it until the end.
  velmira::log_echo echo(STDOUT_FILENO);
  options.log_echo = [&echo](std::string_view line) { echo.push(line); };

  velmira::Server server(std::move(options));
  try {
    server.FormCreate();
  } catch (const std::exception& e) {
    std::cerr << "velmira: start-up failed: " << e.what() << "\n";
    return 1;
  }
  echo.push(server.title());

  // The close question answered Yes ends the process as SIGTERM does.
  std::unique_ptr<velmira::operator_console> console;
  if (args->console) {
    try {
      console = std::make_unique<velmira::operator_console>(
          server, velmira::load_or_create_console_key(args->data_dir), [] { ::kill(::getpid(), SIGTERM); });
    } catch (const std::exception& e) {
      std::cerr << "velmira: start-up failed: " << e.what() << "\n";
      return 1;
    }
    if (auto ec = console->start(args->console->address, args->console->port)) {
      std::cerr << "velmira: start-up failed: the console cannot listen on " << args->console->address << ":"
                << args->console->port << ": " << ec.message() << "\n";
      return 1;
    }
    const auto& a = args->console->address;
    const bool v6 = a.find(':') != std::string::npos;
    echo.push("console: http://" + (v6 ? "[" + a + "]" : a) + ":" + std::to_string(console->port()) + "/");
  }

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  if (console) console->stop();
  server.shutdown();
  return 0;
}
