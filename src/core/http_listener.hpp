#pragma once
// The HTTP/1.1 listener: keep-alive, capped headers and bodies, an idle
// timeout. What a request gets is decided by an http_handler, which may
// answer at once or later, from any thread; a request's body (up to the
// listener's max_body, else the connection closes) is read and handed to
// the handler. A connection that ends on a failure, or a request whose
// handler throws, leaves a line on standard error (report_failure).
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "core/event_log.hpp"
#include "core/limits.hpp"

namespace velmira {

// What a handler keeps from one request of a connection for the next ones,
// so that work whose result holds for the whole connection (checking its
// credentials) is not redone per request. Owned by the connection, which
// serves one request at a time, so it needs no lock of its own.
class http_connection_memo {
 public:
  virtual ~http_connection_memo() = default;
};

struct http_request {
  std::string method;         // "GET", "HEAD", …
  std::string target;         // as sent, still percent-encoded
  std::string authorization;  // the Authorization header, empty when absent
  // The connection's memo, empty until the handler fills it; null when the
  // request comes from no connection. Valid during handle() or serve() only.
  std::unique_ptr<http_connection_memo>* memo = nullptr;
  // For handlers that need more of the request (the operator console).
  std::string host{};          // the Host header
  std::string cookie{};        // the Cookie header
  std::string x_velmira{};     // the X-Velmira header
  std::string content_type{};  // the Content-Type header
  std::string body{};          // up to the listener's max_body
  std::string peer{};          // the client's address, "127.0.0.1" or "::1"
  std::string if_match{};      // the If-Match header
};

struct http_reply {
  unsigned status = 200;
  std::string content_type;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // further fields
  // Set by serve() instead of `body` (then empty) for bytes the handler
  // keeps for many requests, such as a cached file: they go out uncopied.
  std::shared_ptr<const std::string> shared_body = nullptr;
};

// Where the reply to one request goes: send() once, from any thread. The
// connection stays alive as long as its sink does, and reads no further
// request before the reply is sent.
class http_reply_sink {
 public:
  virtual ~http_reply_sink() = default;
  virtual void send(http_reply reply) = 0;
  // The connection's strand, for work that should resume there.
  virtual boost::asio::any_io_executor executor() const = 0;
};

// Called on the listener's threads, concurrently; must be thread-safe.
class http_handler {
 public:
  virtual ~http_handler() = default;
  // Answers `request` through `sink`, now or later. A handler whose replies
  // take work elsewhere (the operator's thread) sends when that is done,
  // never holding the calling thread. What it throws before sending is
  // answered 500.
  virtual void async_serve(http_request request, std::shared_ptr<http_reply_sink> sink) = 0;
};

// A handler that answers at once, on the calling thread.
class immediate_http_handler : public http_handler {
 public:
  // The reply with its bytes in `body`.
  virtual http_reply handle(const http_request& request) = 0;
  // The reply the listener sends; it may carry a shared_body. A handler
  // that keeps bodies in memory overrides it to spare the copy handle()
  // makes.
  virtual http_reply serve(const http_request& request) { return handle(request); }
  void async_serve(http_request request, std::shared_ptr<http_reply_sink> sink) final { sink->send(serve(request)); }
};

// The reply to every request the handler leaves alone.
http_reply default_http_reply();

class tcp_listener;

struct http_listener_options {
  std::chrono::milliseconds idle_timeout = limits::http_idle_timeout;
  std::size_t max_connections = limits::max_connections;
  std::size_t max_body = limits::max_http_body;
  // A body over max_body is answered 413 before the connection closes;
  // otherwise it closes without a word, as the file service's clients expect.
  bool answer_large_body = false;
};

class http_listener {
 public:
  // `handler` must outlive the listener. Lifetime as for tcp_listener.
  http_listener(boost::asio::io_context& io, http_handler& handler, event_log& log,
                http_listener_options options = {});
  ~http_listener();

  std::error_code start(std::uint16_t port);
  // One address only; port 0 picks a free one, which local_port() tells.
  std::error_code start(const std::string& address, std::uint16_t port);
  std::uint16_t local_port() const;
  void stop();
  bool running() const;
  std::size_t open_connections() const;

 private:
  std::unique_ptr<tcp_listener> listener_;
};

}  // namespace velmira
