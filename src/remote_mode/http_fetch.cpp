#include "remote_mode/http_fetch.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/http.hpp>

#include "core/text_codec.hpp"
#include "remote_mode/connect_within.hpp"

namespace velmira {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace base64 = beast::detail::base64;
using tcp = asio::ip::tcp;

std::string fetch_marker(const fetch_result& result) {
  if (result.error != fetch_error::none) return std::string(fetch_error_marker);
  return result.text;
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
  if (status != 200) return {fetch_error::none, status, {}};
  // The master's file service answers an empty file with a lone line feed.
  if (body == "\n") body.clear();
  auto charset = declared_charset(content_type);
  if (equal_ignoring_case(charset, "utf-8") || equal_ignoring_case(charset, "utf8")) {
    body = from_utf8(body);
  }
  return {fetch_error::none, status, std::move(body)};
}

namespace {

constexpr auto awaited = asio::as_tuple(asio::use_awaitable);

// Files of the master are small texts and documents; this only keeps a
// broken or hostile answer from filling memory.
constexpr std::uint64_t body_limit = 64 * 1024 * 1024;

fetch_result failure(fetch_error error) { return {error, 0, {}}; }

fetch_error exchange_error(const beast::error_code& ec) {
  return ec == beast::error::timeout ? fetch_error::timeout : fetch_error::protocol;
}

fetch_error connect_error(connect_outcome outcome) {
  switch (outcome) {
    case connect_outcome::connected:
      break;
    case connect_outcome::unresolved:
      return fetch_error::resolve;
    case connect_outcome::refused:
      return fetch_error::connect;
    case connect_outcome::timed_out:
      return fetch_error::timeout;
  }
  return fetch_error::none;
}

http::request<http::empty_body> request_message(const fetch_request& request) {
  http::request<http::empty_body> message;
  message.version(11);
  message.method(http::verb::get);
  message.target(encode_request_path(request.path));
  message.set(http::field::host, request.host + ":" + std::to_string(request.port));
  if (!request.authorization.empty()) message.set(http::field::authorization, request.authorization);
  message.keep_alive(false);
  return message;
}

// Every handler of one fetch runs on the strand this runs on.
asio::awaitable<fetch_result> fetch_on_strand(fetch_request request) {
  auto strand = co_await asio::this_coro::executor;
  beast::tcp_stream stream(strand);
  asio::steady_timer connect_deadline(strand, fetch_connect_timeout);
  auto connected = co_await connect_within(stream.socket(), connect_deadline, request.host, request.port);
  if (connected != connect_outcome::connected) co_return failure(connect_error(connected));

  auto message = request_message(request);
  stream.expires_after(fetch_send_timeout);
  auto [send_error, sent] = co_await http::async_write(stream, message, awaited);
  if (send_error) co_return failure(exchange_error(send_error));

  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(body_limit);
  stream.expires_after(fetch_response_timeout);
  auto [read_error, received] = co_await http::async_read(stream, buffer, parser, awaited);
  if (read_error) co_return failure(exchange_error(read_error));

  auto& response = parser.get();
  beast::error_code ignored;
  stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
  co_return interpret_response(response.result_int(), response[http::field::content_type],
                               std::move(response.body()));
}

}  // namespace

asio::awaitable<fetch_result> http_fetch(fetch_request request) {
  auto strand = asio::make_strand(co_await asio::this_coro::executor);
  co_return co_await asio::co_spawn(strand, fetch_on_strand(std::move(request)), asio::use_awaitable);
}

}  // namespace velmira
