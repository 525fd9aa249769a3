#include "remote_mode/connect_within.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/experimental/channel.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <memory>
#include <tuple>
#include <utility>
#include <variant>

namespace velmira {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace asio::experimental::awaitable_operators;

namespace {

constexpr auto awaited = asio::as_tuple(asio::use_awaitable);

using lookup_answer = asio::experimental::channel<void(boost::system::error_code, tcp::resolver::results_type)>;

// The lookup answers into a channel rather than to this coroutine, because
// waiting on a channel can be cancelled and waiting on the resolver cannot.
// The channel lives as long as the lookup, which may outlast the wait.
asio::awaitable<std::tuple<boost::system::error_code, tcp::resolver::results_type>> resolve(std::string host,
                                                                                              std::uint16_t port) {
  auto executor = co_await asio::this_coro::executor;
  auto answer = std::make_shared<lookup_answer>(executor, 1);
  tcp::resolver resolver(executor);
  // No address_configured: on a machine whose only interface is loopback it
  // would refuse to resolve a master on loopback.
  resolver.async_resolve(host, std::to_string(port), tcp::resolver::numeric_service,
                         [answer](boost::system::error_code ec, tcp::resolver::results_type results) {
                           answer->try_send(ec, std::move(results));
                         });
  co_return co_await answer->async_receive(awaited);
}

asio::awaitable<connect_outcome> resolve_and_connect(tcp::socket& socket, std::string host, std::uint16_t port) {
  auto [resolve_error, endpoints] = co_await resolve(std::move(host), port);
  if (resolve_error) co_return connect_outcome::unresolved;
  auto [connect_error, endpoint] = co_await asio::async_connect(socket, endpoints, awaited);
  co_return connect_error ? connect_outcome::refused : connect_outcome::connected;
}

}  // namespace

asio::awaitable<connect_outcome> connect_within(tcp::socket& socket, asio::steady_timer& deadline, std::string host,
                                                std::uint16_t port) {
  auto first = co_await (resolve_and_connect(socket, std::move(host), port) || deadline.async_wait(awaited));
  if (first.index() == 1) co_return connect_outcome::timed_out;
  co_return std::get<0>(first);
}

}  // namespace velmira
