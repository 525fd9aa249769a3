// velmira: the school information server.
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <signal.h>
#include <optional>
#include <string>
#include <unistd.h>

#include "core/autostart.hpp"
#include "core/log_echo.hpp"
#include "ui/console_access.hpp"
#include "ui/operator_console.hpp"
#include "server/server.hpp"

namespace {

constexpr const char* usage =
    "usage: velmira [--data-dir DIR] [--organisation NAME] [--console ADDR:PORT | --no-console] [--help]\n"
    "\n"
    "  --data-dir DIR        keep the data files in DIR (default: the executable's directory)\n"
    "  --organisation NAME   the school's name, shown in the title and sent to clients\n"
    "  --console ADDR:PORT   where the operator console listens (default: 127.0.0.1:7080;\n"
    "                        an IPv6 address in brackets, port 0 for a free one)\n"
    "  --no-console          run without the operator console\n"
    "  --help                print this text\n";

struct command_line {
  std::filesystem::path data_dir;
  std::string organisation;
  std::optional<velmira::console_address> console = velmira::console_address{"127.0.0.1", 7080};
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
    } else if (arg == "--data-dir" || arg == "--organisation" || arg == "--console") {
      const char* v = value();
      if (v == nullptr) {
        std::cerr << "velmira: " << arg << " needs a value\n" << usage;
        return std::nullopt;
      }
      if (arg == "--data-dir") c.data_dir = std::filesystem::absolute(v);
      if (arg == "--organisation") c.organisation = v;
      if (arg == "--console") {
        c.console = velmira::parse_console_address(v);
        if (!c.console) {
          std::cerr << "velmira: --console needs ADDR:PORT, e.g. 127.0.0.1:7080 or [::1]:7080\n" << usage;
          return std::nullopt;
        }
      }
    } else if (arg == "--no-console") {
      c.console.reset();
    } else {
      std::cerr << "velmira: unknown option " << arg << "\n" << usage;
      return std::nullopt;
    }
  }
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  auto args = parse(argc, argv);
  if (!args) return 2;
  if (args->help) {
    std::cout << usage;
    return 0;
  }

  // The signals are waited for synchronously by this thread alone.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  velmira::server_options options;
  options.data_dir = args->data_dir;
  options.executable = executable_path();
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
