#pragma once
// A blocking loopback client for tests: raw bytes out, raw bytes in, every
// wait bounded so a broken server fails the test instead of hanging it.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmira::testing {

class line_client {
 public:
  explicit line_client(std::uint16_t port);
  ~line_client();
  line_client(const line_client&) = delete;
  line_client& operator=(const line_client&) = delete;

  void send(std::string_view bytes);
  // Reads until `n` bytes have arrived, the peer closes or the time is up;
  // returns what arrived.
  std::string read_bytes(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Whatever arrives within `wait`.
  std::string read_for(std::chrono::milliseconds wait);
  // True once the server has closed the connection (end of stream or reset).
  bool closed_by_peer(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  int fd_ = -1;
};

// A port on loopback that nothing listens on at the moment.
std::uint16_t free_port();

}  // namespace velmira::testing
