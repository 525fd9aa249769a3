#include "support/line_client.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace velmira::testing {

namespace {

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

}  // namespace

line_client::line_client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  auto a = loopback(port);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (fd_ >= 0) ::close(fd_);
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
}

line_client::~line_client() {
  if (fd_ >= 0) ::close(fd_);
}

void line_client::send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("send failed");
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string line_client::read_bytes(std::size_t n, std::chrono::milliseconds limit) {
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (got.size() < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[65536];
    ssize_t r = ::recv(fd_, buffer, std::min(sizeof buffer, n - got.size()), 0);
    if (r <= 0) break;
    got.append(buffer, static_cast<std::size_t>(r));
  }
  return got;
}

std::string line_client::read_for(std::chrono::milliseconds wait) {
  return read_bytes(static_cast<std::size_t>(-1) / 2, wait);
}

bool line_client::closed_by_peer(std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    ssize_t r = ::recv(fd_, buffer, sizeof buffer, 0);
    if (r <= 0) return true;
  }
}

std::uint16_t free_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  auto a = loopback(0);
  socklen_t len = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("no free port");
  }
  ::close(fd);
  return ntohs(a.sin_port);
}

}  // namespace velmira::testing
