#pragma once
// The connection a server in remote mode keeps to its master's main TCP
// port: lines out, raw replies in. The master's replies carry no line end
// and no framing, so the caller polls take_received() on its own tick and
// treats whatever one take returns as one reply.
//
// Threading contract: every member may be called from any thread (the
// callers run on the operator's thread, the connection on an io_context);
// an implementation serialises them itself. The `done` of connect() runs on
// the transport's own executor, never inside the call to connect().
//
// Text on the channel is UTF-8 both ways; converting from and to the
// Windows-1251 the server keeps is the caller's business.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmira {

// A master that has not accepted the connection by then counts as absent.
inline constexpr std::chrono::milliseconds channel_connect_timeout{400};
// Input nobody takes is held up to this much; a master sending more than
// this between two polls is broken, and the channel closes.
inline constexpr std::size_t channel_max_unread = 1024 * 1024;

class channel_transport {
 public:
  using connect_handler = std::function<void(bool connected)>;

  virtual ~channel_transport() = default;

  // Closes any connection there is (discarding its unread input), resolves
  // `host` (a name or an IP literal) and connects within
  // channel_connect_timeout. `done` runs exactly once: true when the channel
  // is open, false on failure, timeout, or close() before it connected.
  virtual void connect(std::string host, std::uint16_t port, connect_handler done) = 0;

  // True from a successful connect until close(), a failure or the master
  // ending the connection.
  virtual bool is_open() const = 0;

  // Sends the line followed by CR LF. Lines written back to back go out in
  // the order written. On a channel that is not open the line is dropped;
  // a failed write closes the channel without a word, as close() does.
  virtual void write_line(std::string utf8_line) = 0;

  // Never waits. The bytes that arrived since the last take ("" when none);
  // once the connection has ended or failed and nothing it delivered is left
  // to take, nothing, and the channel is closed. Input that arrived before
  // the master ended the connection is still returned first.
  virtual std::optional<std::string> take_received() = 0;

  // Disconnects and discards unread input: nothing received before the
  // close is ever taken after it. Harmless on a closed channel.
  virtual void close() = 0;
};

}  // namespace velmira
