// Request lines of the client protocol through the dispatcher, with the
// server's own assembly (the administration channel with its reloads included),
// over one data directory that lives from input to input, so that
// publications and announcements build on one another.
//
// What must not carry over is put back after every input: the game rooms
// and the event log are emptied, so that what an input leaves in memory is
// freed with it (libFuzzer's leak check after every input stays meaningful
// and the rooms never fill up), and setting.ini and users.ini return to
// their seed when a push replaced them, so that later inputs still log in.
//
// Besides crashing, an input fails when a request writes outside the data
// directory: the directory is the only entry of its parent folder, and a
// path that climbs out of it leaves a second one there.
//
// An input is what a client sends on one connection: lines ended by LF, a
// CR before the LF dropped, the bytes after the last LF taken as one more
// line. As on a real connection, a line past the length limit or a request
// that fails ends the connection: the rest of the input is not served. A
// request may fail with a data-file or file-system error, or with the
// operator's error of a pushed setting.ini that does not load; any other
// exception escapes and is a finding (the session would swallow it and
// close the connection).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <functional>
#include <string>
#include <string_view>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/data_file.hpp"
#include "core/limits.hpp"
#include "core/operator_error.hpp"
#include "core/text_codec.hpp"
#include "fuzz_support.hpp"
#include "protocol/game_rooms.hpp"
#include "protocol/protocol_stack.hpp"
#include "server/server_state.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

// Publications and announcements pile up files; past these the directory
// starts again from its seed, so one file's rewrite stays cheap.
constexpr std::uintmax_t max_data_bytes = 1 << 20;
constexpr std::size_t max_data_entries = 1000;
constexpr unsigned inputs_between_size_checks = 64;

// Both players' numbers come up, in a sequence fixed for a run.
player_draw alternating_draw() {
  return [next = '2']() mutable { return next = next == '1' ? '2' : '1'; };
}

// The server's own state and protocol assembly, over one data directory.
struct server_under_test {
  explicit server_under_test(const fs::path& root)
      : state(server_state_options{.data_dir = root,
                                   .executable = root / "velmira",
                                   .autostart_folder = root / "autostart",
                                   .organisation_utf8 = "Школа №1"},
              clock, nullptr),
        stack(with_fixed_randomness(state.protocol([](std::function<void()> work) { work(); }))) {}

  static protocol_dependencies with_fixed_randomness(protocol_dependencies d) {
    d.draw = alternating_draw();
    d.news_seed = [] { return 20240905u; };
    return d;
  }

  // The start-up of a local server, listeners and timers aside.
  void load_all() {
    state.load_settings();
    state.publish_greeting("0");
    state.load_local_subsystems();
  }

  manual_clock clock{make_local(2024, 9, 5, 10, 30, 0)};
  server_state state;
  protocol_stack stack;
};

class protocol_under_test {
 public:
  protocol_under_test() { start_from_seed(); }

  void serve_connection(std::string_view bytes) {
    serve_lines(bytes);
    fuzz::require(only_the_data_directory_beside_it(), "a request wrote outside the data directory");
    forget_rooms_and_log();
    restore_accounts();
  }

  void keep_bounded() {
    if (++inputs_ % inputs_between_size_checks == 0 &&
        fuzz::grown_past(data_root(), max_data_bytes, max_data_entries)) {
      start_from_seed();
    }
  }

 private:
  void serve_lines(std::string_view bytes) {
    while (!bytes.empty()) {
      auto end = bytes.find('\n');
      std::string_view line = bytes.substr(0, end);
      bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() > limits::max_request_line || !served(line)) return;
    }
  }

  // False when the request failed and the connection ends.
  bool served(std::string_view line) {
    try {
      server_->stack.dispatch().serve_here(line);
      return true;
    } catch (const data_file_error&) {
      return false;
    } catch (const fs::filesystem_error&) {
      return false;
    } catch (const operator_error&) {
      return false;
    }
  }

  bool only_the_data_directory_beside_it() const {
    fs::directory_iterator entry(dir_.path());
    return entry != fs::directory_iterator() && entry->path() == data_root() && ++entry == fs::directory_iterator();
  }

  fs::path data_root() const { return dir_.path() / "data"; }

  void forget_rooms_and_log() {
    auto& games = server_->stack.games();
    for (int room = 1; room <= game_rooms::room_count; ++room) {
      if (!games.field(room, game_column::game_kod).empty()) games.clear_room(room);
    }
    server_->state.log.clear();
  }

  void restore_accounts() {
    if (replaced_by_push("setting.ini", settings_seed_)) server_->state.load_settings();
    if (replaced_by_push("users.ini", users_seed_)) server_->state.users_file.LoadUser("");
  }

  // Puts the seed back when the file no longer holds it.
  bool replaced_by_push(std::string_view name, const std::string& seed) {
    auto path = server_->state.data.file(name);
    if (read_file(path) == seed) return false;
    replace_file_atomically(path, seed);
    return true;
  }

  void start_from_seed() {
    server_.reset();
    fs::remove_all(data_root());
    fs::create_directory(data_root());
    server_ = std::make_unique<server_under_test>(data_root());
    fuzz::seed_data_directory(server_->state.data);
    server_->load_all();
  }

  const std::string settings_seed_ = fuzz::seeded_settings_ini();
  const std::string users_seed_ = fuzz::seeded_users_ini();
  testing::temp_dir dir_;
  std::unique_ptr<server_under_test> server_;
  unsigned inputs_ = 0;
};

}  // namespace
}  // namespace velmira

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velmira::protocol_under_test protocol;
  protocol.serve_connection(velmira::fuzz::as_text(data, size));
  protocol.keep_bounded();
  return 0;
}
