#include "core/tcp_listener.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <utility>

namespace velmira {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

struct tcp_listener::acceptor_slot {
  explicit acceptor_slot(asio::io_context& io) : acceptor(io), pause(io) {}
  tcp::acceptor acceptor;
  asio::steady_timer pause;  // the wait after a failed accept
  bool open = true;  // guarded by the listener's mutex, like every acceptor and timer call
};

tcp_listener::tcp_listener(asio::io_context& io, connection_factory factory, event_log& log, std::string name,
                           tcp_listener_options options)
    : io_(io), factory_(std::move(factory)), log_(log), name_(std::move(name)), options_(options) {}

tcp_listener::~tcp_listener() { stop(); }

namespace {

std::error_code bind_wildcard(tcp::acceptor& acceptor, const tcp::endpoint& endpoint) {
  boost::system::error_code ec;
  acceptor.open(endpoint.protocol(), ec);
  if (ec) return ec;
  acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  // Two acceptors share the port: the IPv6 one must leave IPv4 to the other.
  if (endpoint.protocol() == tcp::v6()) acceptor.set_option(asio::ip::v6_only(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  return ec;
}

// A socket whose options cannot be set still works; it only goes without
// the probes, so failures are ignored.
void probe_idle_peer(tcp::socket& socket) {
  boost::system::error_code ignored;
  socket.set_option(asio::socket_base::keep_alive(true), ignored);
  const int fd = socket.native_handle();
  const int idle = static_cast<int>(limits::tcp_keepalive_idle.count());
  const int interval = static_cast<int>(limits::tcp_keepalive_interval.count());
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &limits::tcp_keepalive_probes, sizeof limits::tcp_keepalive_probes);
}

}  // namespace

std::error_code tcp_listener::start(std::uint16_t port) {
  return start_on({asio::ip::address(asio::ip::address_v4::any()), asio::ip::address(asio::ip::address_v6::any())},
                  port);
}

std::error_code tcp_listener::start(const asio::ip::address& address, std::uint16_t port) {
  return start_on({address}, port);
}

std::error_code tcp_listener::start_on(const std::vector<asio::ip::address>& addresses, std::uint16_t port) {
  stop();
  mutex_lock lock(mutex_);
  std::vector<std::shared_ptr<acceptor_slot>> bound;
  for (const auto& address : addresses) {
    auto slot = std::make_shared<acceptor_slot>(io_);
    std::error_code ec = bind_wildcard(slot->acceptor, tcp::endpoint(address, port));
    bool no_ipv6_here = address.is_v6() && addresses.size() > 1 && ec == std::errc::address_family_not_supported;
    if (no_ipv6_here) continue;
    if (ec) {
      for (auto& b : bound) b->acceptor.close();
      return ec;
    }
    bound.push_back(std::move(slot));
  }
  acceptors_ = std::move(bound);
  for (auto& slot : acceptors_) accept_next(slot);
  return {};
}

std::uint16_t tcp_listener::local_port() const {
  mutex_lock lock(mutex_);
  if (acceptors_.empty()) return 0;
  boost::system::error_code ec;
  auto endpoint = acceptors_.front()->acceptor.local_endpoint(ec);
  return ec ? 0 : endpoint.port();
}

void tcp_listener::accept_next(const std::shared_ptr<acceptor_slot>& slot) {
  slot->acceptor.async_accept(asio::make_strand(io_), [this, slot](boost::system::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    mutex_lock lock(mutex_);
    if (!slot->open) return;
    if (ec) return pause_accepting(slot, ec);
    accept_failing_ = false;
    on_accept(std::move(socket));
    accept_next(slot);
  });
}

// The connection that could not be accepted stays in the backlog and keeps
// the acceptor ready: trying again at once would fail at once, and the
// loop would spin. A pause lets connections end and free descriptors.
void tcp_listener::pause_accepting(const std::shared_ptr<acceptor_slot>& slot, const boost::system::error_code& error) {
  if (!std::exchange(accept_failing_, true)) {
    log_.append_event(name_ + ": ошибка приема подключений (" + error.message() + "), прием приостановлен");
  }
  slot->pause.expires_after(limits::accept_pause);
  slot->pause.async_wait([this, slot](boost::system::error_code ec) {
    if (ec == asio::error::operation_aborted) return;
    mutex_lock lock(mutex_);
    if (slot->open) accept_next(slot);
  });
}

// At the cap a client that retries at once can be refused hundreds of times
// a second: one line when the cap is reached and one with the count when a
// connection is accepted again keep the event log readable.
void tcp_listener::on_accept(tcp::socket socket) {
  if (options_.keep_alive) probe_idle_peer(socket);
  auto c = register_connection(std::move(socket));
  if (!c) {
    if (refused_at_cap_.fetch_add(1) == 0) {
      log_.append_event(name_ + ": достигнут предел одновременных подключений, подключение закрыто");
    }
    return;
  }
  if (auto refused = refused_at_cap_.exchange(0); refused > 0) {
    log_.append_event(name_ + ": подключения снова принимаются; закрыто из-за предела: " + std::to_string(refused));
  }
  asio::post(io_, [c] { c->start(); });
  // `c` may be the last owner by now, if the connection has already ended:
  // it is released here, outside the registry's lock its end takes.
}

std::shared_ptr<connection> tcp_listener::register_connection(tcp::socket socket) {
  mutex_lock lock(connections_->mutex);
  if (connections_->open.size() >= options_.max_connections) {
    boost::system::error_code ignored;
    socket.close(ignored);
    return nullptr;
  }
  std::uint64_t id = connections_->next_id++;
  auto c = factory_(std::move(socket), [weak = std::weak_ptr(connections_), id] {
    if (auto r = weak.lock()) {
      mutex_lock lock(r->mutex);
      r->open.erase(id);
    }
  });
  connections_->open.emplace(id, c);
  return c;
}

void tcp_listener::stop() {
  std::vector<std::shared_ptr<connection>> open;
  {
    mutex_lock lock(mutex_);
    for (auto& slot : acceptors_) {
      slot->open = false;
      boost::system::error_code ignored;
      slot->acceptor.close(ignored);
      slot->pause.cancel();
    }
    acceptors_.clear();
  }
  {
    mutex_lock lock(connections_->mutex);
    for (auto& entry : connections_->open) {
      if (auto c = entry.second.lock()) open.push_back(std::move(c));
    }
    connections_->open.clear();
  }
  for (auto& c : open) c->close();
}

bool tcp_listener::running() const {
  mutex_lock lock(mutex_);
  return !acceptors_.empty();
}

std::size_t tcp_listener::open_connections() const {
  mutex_lock lock(connections_->mutex);
  return connections_->open.size();
}

}  // namespace velmira
