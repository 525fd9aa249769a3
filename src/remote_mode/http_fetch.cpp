#include "remote_mode/http_fetch.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/http.hpp>
#include <memory>

#include "core/text_codec.hpp"

namespace velmira {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace base64 = beast::detail::base64;
using tcp = asio::ip::tcp;

std::string fetch_marker(const fetch_result& result) {
  switch (result.status) {
    case fetch_status::ok:
      return result.text;
    case fetch_status::absent:
      return {};
    case fetch_status::failed:
      break;
  }
  return std::string(fetch_error_marker);
}

std::string basic_authorization(std::string_view login, std::string_view password) {
  std::string plain = to_utf8(login) + ":" + to_utf8(password);
  std::string token(base64::encoded_size(plain.size()), '\0');
  token.resize(base64::encode(token.data(), plain.data(), plain.size()));
  return "Basic " + token;
}

namespace {

bool kept_literal(unsigned char c) {
  if (c < 0x21 || c >= 0x7F) return false;  // controls, space, DEL and non-ASCII
  return c != '%' && c != '?' && c != '#';
}

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view text) {
  auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  auto last = text.find_last_not_of(" \t");
  return text.substr(first, last + 1 - first);
}

// The value of the charset parameter of a Content-Type, unquoted; empty when
// there is none.
std::string_view declared_charset(std::string_view content_type) {
  auto rest = content_type;
  for (auto semicolon = rest.find(';'); semicolon != std::string_view::npos;
       semicolon = rest.find(';')) {
    rest.remove_prefix(semicolon + 1);
    auto parameter = trimmed(rest.substr(0, rest.find(';')));
    auto equals = parameter.find('=');
    if (equals == std::string_view::npos) continue;
    if (!equal_ignoring_case(trimmed(parameter.substr(0, equals)), "charset")) continue;
    auto value = trimmed(parameter.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return {};
}

}  // namespace

std::string encode_request_path(std::string_view path) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : to_utf8(path)) {
    if (kept_literal(c)) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += hex[c >> 4];
      encoded += hex[c & 0x0F];
    }
  }
  return encoded;
}

fetch_result interpret_response(unsigned status, std::string_view content_type, std::string body) {
  if (status != 200) return {fetch_status::absent, {}};
  // The master's file service answers an empty file with a lone line feed.
  if (body == "\n") body.clear();
  auto charset = declared_charset(content_type);
  if (equal_ignoring_case(charset, "utf-8") || equal_ignoring_case(charset, "utf8")) {
    body = from_utf8(body);
  }
  return {fetch_status::ok, std::move(body)};
}

namespace {

// Files of the master are small texts and documents; this only keeps a
// broken or hostile answer from filling memory.
constexpr std::uint64_t body_limit = 64 * 1024 * 1024;

class fetch_session : public std::enable_shared_from_this<fetch_session> {
 public:
  fetch_session(asio::io_context& io, std::function<void(fetch_result)> done)
      : resolver_(io), resolve_timer_(io), stream_(io), done_(std::move(done)) {
    parser_.body_limit(body_limit);
  }

  void start(const fetch_request& request) {
    request_.version(11);
    request_.method(http::verb::get);
    request_.target(encode_request_path(request.path));
    request_.set(http::field::host, request.host + ":" + std::to_string(request.port));
    if (!request.authorization.empty()) {
      request_.set(http::field::authorization, request.authorization);
    }
    request_.keep_alive(false);

    // Resolving cannot be cancelled once the system call runs, so the
    // deadline ends the fetch itself and a late answer is ignored.
    resolve_timer_.expires_after(fetch_connect_timeout);
    resolve_timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (ec) return;
      self->resolver_.cancel();
      self->fail();
    });
    resolver_.async_resolve(
        request.host, std::to_string(request.port),
        [self = shared_from_this()](beast::error_code ec, tcp::resolver::results_type results) {
          self->on_resolve(ec, std::move(results));
        });
  }

 private:
  void on_resolve(beast::error_code ec, tcp::resolver::results_type results) {
    resolve_timer_.cancel();
    if (!done_) return;
    if (ec) return fail();
    stream_.expires_after(fetch_connect_timeout);
    stream_.async_connect(results, [self = shared_from_this()](beast::error_code ec,
                                                               const tcp::endpoint&) {
      self->on_connect(ec);
    });
  }

  void on_connect(beast::error_code ec) {
    if (ec) return fail();
    stream_.expires_after(fetch_send_timeout);
    http::async_write(stream_, request_,
                      [self = shared_from_this()](beast::error_code ec, std::size_t) {
                        self->on_write(ec);
                      });
  }

  void on_write(beast::error_code ec) {
    if (ec) return fail();
    stream_.expires_after(fetch_response_timeout);
    http::async_read(stream_, buffer_, parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       self->on_read(ec);
                     });
  }

  void on_read(beast::error_code ec) {
    if (ec) return fail();
    auto& response = parser_.get();
    auto result = interpret_response(response.result_int(), response[http::field::content_type],
                                     std::move(response.body()));
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    finish(std::move(result));
  }

  void fail() { finish({fetch_status::failed, {}}); }

  void finish(fetch_result result) {
    if (!done_) return;
    auto done = std::move(done_);
    done_ = nullptr;
    done(std::move(result));
  }

  tcp::resolver resolver_;
  asio::steady_timer resolve_timer_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  http::request<http::empty_body> request_;
  http::response_parser<http::string_body> parser_;
  std::function<void(fetch_result)> done_;
};

}  // namespace

void http_fetch(asio::io_context& io, fetch_request request,
                std::function<void(fetch_result)> done) {
  std::make_shared<fetch_session>(io, std::move(done))->start(request);
}

}  // namespace velmira
