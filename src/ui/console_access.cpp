#include "ui/console_access.hpp"

#include <boost/asio/ip/address.hpp>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>

#include "core/data_file.hpp"
#include "core/unique_fd.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t key_random_bytes = 32;
constexpr std::size_t token_random_bytes = 32;
constexpr std::string_view login_path = "/api/login";

[[noreturn]] void fail(const fs::path& file, std::string_view what, int error) {
  throw console_key_error("console key " + file.string() + ": " + std::string(what) + ": " +
                          std::generic_category().message(error));
}

void write_new_key(int fd, const fs::path& file) {
  // The umask may only take permissions away; the file must be exactly 0600.
  if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) fail(file, "cannot set mode", errno);
  write_all(fd, random_hex(key_random_bytes) + "\n", file);
  if (::fsync(fd) != 0) fail(file, "cannot sync", errno);
}

// False when the file already exists; it is then read as the operator left it.
bool create_key_file(const fs::path& file) {
  unique_fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      S_IRUSR | S_IWUSR));
  if (fd.get() < 0) {
    if (errno == EEXIST) return false;
    fail(file, "cannot create", errno);
  }
  try {
    write_new_key(fd.get(), file);
    if (fd.close() != 0) fail(file, "cannot close", errno);
  } catch (...) {
    // A half-written key would stop every later start; better none at all.
    ::unlink(file.c_str());
    throw;
  }
  // The new name must survive a crash, or the next start would make another
  // key while the operator still holds the old one.
  sync_folder(file.parent_path());
  return true;
}

std::string read_first_line(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) fail(file, "cannot read", errno);
  std::string line;
  std::getline(in, line);
  if (in.bad()) fail(file, "cannot read", errno);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return lower_ascii(x) == lower_ascii(y); });
}

std::string_view trim_spaces(std::string_view text) {
  auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

struct host_parts {
  std::string_view name;
  std::uint32_t port;
};

std::optional<std::uint32_t> parse_port(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  std::uint32_t port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (port > 65535) return std::nullopt;
  return port;
}

// "name", "name:port", "[v6]" or "[v6]:port"; the brackets stay in the name.
std::optional<host_parts> split_host(std::string_view host) {
  std::size_t name_end = 0;
  if (!host.empty() && host.front() == '[') {
    auto close = host.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    name_end = close + 1;
  } else {
    name_end = std::min(host.find(':'), host.size());
  }
  auto name = host.substr(0, name_end);
  auto rest = host.substr(name_end);
  if (name.empty()) return std::nullopt;
  if (rest.empty()) return host_parts{name, 80};
  if (rest.front() != ':') return std::nullopt;
  auto port = parse_port(rest.substr(1));
  if (!port) return std::nullopt;
  return host_parts{name, *port};
}

// How the listen address appears in a Host header.
std::string host_form(std::string_view address) {
  bool bare_ipv6 = address.find(':') != std::string_view::npos && !address.starts_with('[');
  return bare_ipv6 ? "[" + std::string(address) + "]" : std::string(address);
}

bool is_change(std::string_view method) { return method != "GET" && method != "HEAD"; }

std::string_view path_only(std::string_view target) { return target.substr(0, target.find('?')); }

}  // namespace

bool is_valid_console_key(std::string_view key) {
  return key.size() >= console_key_min_length &&
         std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

std::string load_or_create_console_key(const fs::path& data_dir) {
  auto file = data_dir / console_key_file_name;
  create_key_file(file);
  auto key = read_first_line(file);
  if (!is_valid_console_key(key)) {
    throw console_key_error("console key " + file.string() +
                            ": the first line must hold at least " +
                            std::to_string(console_key_min_length) +
                            " printable ASCII characters (0x21..0x7E, no spaces)");
  }
  return key;
}

std::string random_hex(std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t filled = 0;
  while (filled < count) {
    ssize_t n = ::getrandom(bytes.data() + filled, count - filled, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::system_error(errno, std::generic_category(), "getrandom");
    filled += static_cast<std::size_t>(n);
  }
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(count * 2);
  for (unsigned char b : bytes) {
    hex.push_back(digits[b >> 4]);
    hex.push_back(digits[b & 0x0F]);
  }
  return hex;
}

bool constant_time_equal(std::string_view a, std::string_view b) {
  // Walks all of `a` whatever `b` holds; only the length of `a` shows.
  unsigned diff = a.size() == b.size() ? 0U : 1U;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char other = b.empty() ? 0 : static_cast<unsigned char>(b[i % b.size()]);
    diff |= static_cast<unsigned char>(a[i]) ^ other;
  }
  return diff == 0;
}

std::string throttle_group(std::string_view peer) {
  boost::system::error_code ec;
  auto address = boost::asio::ip::make_address(peer, ec);
  if (ec) return std::string(peer);
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
  }
  if (address.is_loopback()) return "loopback";
  if (address.is_v4()) return address.to_string();
  auto bytes = address.to_v6().to_bytes();
  std::fill(bytes.begin() + 8, bytes.end(), 0);
  return boost::asio::ip::make_address_v6(bytes).to_string() + "/64";
}

bool host_names_console(std::string_view host, std::string_view listen_address,
                        std::uint16_t port) {
  auto parts = split_host(trim_spaces(host));
  if (!parts || parts->port != port) return false;
  for (std::string_view allowed : {std::string_view("localhost"), std::string_view("127.0.0.1"),
                                   std::string_view("[::1]")}) {
    if (equal_ignoring_case(parts->name, allowed)) return true;
  }
  return !listen_address.empty() && equal_ignoring_case(parts->name, host_form(listen_address));
}

std::vector<std::string> cookie_values(std::string_view cookie_header, std::string_view name) {
  std::vector<std::string> values;
  while (!cookie_header.empty()) {
    auto end = std::min(cookie_header.find(';'), cookie_header.size());
    auto pair = trim_spaces(cookie_header.substr(0, end));
    cookie_header.remove_prefix(std::min(end + 1, cookie_header.size()));
    auto eq = pair.find('=');
    if (eq == std::string_view::npos || trim_spaces(pair.substr(0, eq)) != name) continue;
    auto value = trim_spaces(pair.substr(eq + 1));
    // The cookie grammar allows a value in double quotes.
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    values.emplace_back(value);
  }
  return values;
}

console_access::console_access(console_access_options options) : options_(std::move(options)) {
  if (!is_valid_console_key(options_.key)) {
    throw std::invalid_argument("console key must be at least 16 printable ASCII characters");
  }
}

access_verdict console_access::check(const console_request_facts& request) {
  if (!host_names_console(request.host, options_.listen_address, options_.port)) {
    return access_verdict::misdirected;
  }
  if (request.method == "POST" && path_only(request.path) == login_path) {
    return access_verdict::allowed;
  }
  if (auto key = bearer_key(request.authorization)) return check_bearer(*key, request.peer);
  if (!has_live_session(request.cookie)) return access_verdict::unauthorised;
  // A browser sends the cookie on a forged cross-site request too, but only
  // a same-origin script may add a custom header.
  if (is_change(request.method) && request.x_velmira != "1") return access_verdict::forbidden;
  return access_verdict::allowed;
}

login_outcome console_access::log_in(std::string_view key, std::string_view peer) {
  mutex_lock lock(mutex_);
  auto now = options_.clock();
  const auto address = throttle_group(peer);
  if (is_throttled(address, now)) return {login_outcome::throttled, {}};
  if (!constant_time_equal(key, options_.key)) {
    count_failure(address, now);
    return {login_outcome::wrong_key, {}};
  }
  return {login_outcome::ok, open_session()};
}

void console_access::log_out(std::string_view cookie_header) {
  auto tokens = cookie_values(cookie_header, console_session_cookie_name);
  mutex_lock lock(mutex_);
  std::erase_if(sessions_, [&](const std::string& session) {
    return std::any_of(tokens.begin(), tokens.end(),
                       [&](const std::string& token) { return constant_time_equal(token, session); });
  });
}

std::string console_access::session_cookie(std::string_view token) {
  return std::string(console_session_cookie_name) + "=" + std::string(token) +
         "; HttpOnly; SameSite=Strict; Path=/";
}

std::string console_access::expired_session_cookie() { return session_cookie("") + "; Max-Age=0"; }

std::optional<std::string_view> console_access::bearer_key(std::string_view authorization) {
  constexpr std::string_view scheme = "bearer ";
  if (authorization.size() < scheme.size() ||
      !equal_ignoring_case(authorization.substr(0, scheme.size()), scheme)) {
    return std::nullopt;
  }
  return trim_spaces(authorization.substr(scheme.size()));
}

// A wrong key in a header is a guess like a wrong log-in, and counts alike.
access_verdict console_access::check_bearer(std::string_view key, std::string_view peer) {
  mutex_lock lock(mutex_);
  auto now = options_.clock();
  const auto address = throttle_group(peer);
  if (is_throttled(address, now)) return access_verdict::throttled;
  if (constant_time_equal(key, options_.key)) return access_verdict::allowed;
  count_failure(address, now);
  return access_verdict::unauthorised;
}

bool console_access::has_live_session(std::string_view cookie_header) const {
  auto tokens = cookie_values(cookie_header, console_session_cookie_name);
  if (tokens.empty()) return false;
  mutex_lock lock(mutex_);
  bool found = false;
  // Every session is compared, so the time taken tells nothing of a match.
  for (const auto& token : tokens) {
    for (const auto& session : sessions_) found |= constant_time_equal(token, session);
  }
  return found;
}

bool console_access::is_throttled(const std::string& peer, time_point now) const {
  auto it = failures_.find(peer);
  return it != failures_.end() && now < it->second.start + options_.throttle_window &&
         it->second.failures >= options_.max_failures;
}

void console_access::count_failure(const std::string& peer, time_point now) {
  auto it = failures_.find(peer);
  if (it != failures_.end() && now < it->second.start + options_.throttle_window) {
    ++it->second.failures;
    return;
  }
  if (it != failures_.end()) {
    it->second = {now, 1};
    return;
  }
  make_room_for_address(now);
  failures_.emplace(peer, failure_window{now, 1});
}

void console_access::make_room_for_address(time_point now) {
  if (failures_.size() < options_.max_tracked_addresses) return;
  std::erase_if(failures_, [&](const auto& entry) {
    return now >= entry.second.start + options_.throttle_window;
  });
  while (!failures_.empty() && failures_.size() >= options_.max_tracked_addresses) {
    auto oldest = std::min_element(failures_.begin(), failures_.end(), [](const auto& a, const auto& b) {
      return a.second.start < b.second.start;
    });
    failures_.erase(oldest);
  }
}

std::string console_access::open_session() {
  auto token = random_hex(token_random_bytes);
  sessions_.push_back(token);
  while (sessions_.size() > options_.max_sessions) sessions_.pop_front();
  return token;
}

}  // namespace velmira
