#include "remote_mode/tcp_channel_transport.hpp"

#include <gtest/gtest.h>
#include <poll.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "support/case_name.hpp"
#include "support/eventually.hpp"
#include "support/line_client.hpp"

namespace velmira {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

constexpr auto patience = 10s;

// Reads from the peer's side until `n` bytes came, it closed, or patience ran out.
std::string read_at_peer(tcp::socket& peer, std::size_t n) {
  std::string got;
  const auto give_up = std::chrono::steady_clock::now() + patience;
  while (got.size() < n && std::chrono::steady_clock::now() < give_up) {
    pollfd pfd{peer.native_handle(), POLLIN, 0};
    if (::poll(&pfd, 1, 10) <= 0) continue;
    char buffer[4096];
    boost::system::error_code ec;
    const auto k = peer.read_some(asio::buffer(buffer), ec);
    if (ec) break;
    got.append(buffer, k);
  }
  return got;
}

// The channel on an io_context of its own thread, as in the server, and a
// master played by a blocking loopback acceptor in the test's thread.
class TcpChannelTransport : public ::testing::Test {
 protected:
  TcpChannelTransport() {
    acceptor_.open(tcp::v4());
    acceptor_.bind({asio::ip::address_v4::loopback(), 0});
    acceptor_.listen();
    port_ = acceptor_.local_endpoint().port();
  }

  ~TcpChannelTransport() override {
    transport_.close();
    work_.reset();
    io_.stop();
    runner_.join();
  }

  // The outcome reported to `done`, or nothing when it never ran.
  std::optional<bool> connect(const std::string& host, std::uint16_t port) {
    auto outcome = std::make_shared<std::promise<bool>>();
    auto result = outcome->get_future();
    transport_.connect(host, port, [outcome](bool connected) { outcome->set_value(connected); });
    if (result.wait_for(patience) != std::future_status::ready) return std::nullopt;
    return result.get();
  }

  // Connects and accepts the connection on the master's side.
  tcp::socket connect_master() {
    EXPECT_EQ(connect("127.0.0.1", port_), std::optional<bool>(true));
    return acceptor_.accept();  // already in the backlog once connect succeeded
  }

  // Takes until something non-empty arrives or the channel reports closed.
  std::optional<std::string> take_when_arrived() {
    std::optional<std::string> taken;
    testing::eventually([&] {
      taken = transport_.take_received();
      return !taken || !taken->empty();
    });
    return taken;
  }

  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
  tcp_channel_transport transport_{io_};
  asio::io_context peer_io_;
  tcp::acceptor acceptor_{peer_io_};
  std::uint16_t port_ = 0;
  std::thread runner_{[this] { io_.run(); }};
};

class TcpChannelTransportHosts : public TcpChannelTransport, public ::testing::WithParamInterface<std::string> {};

TEST_P(TcpChannelTransportHosts, ConnectsToAListeningMaster) {
  EXPECT_FALSE(transport_.is_open());
  EXPECT_EQ(connect(GetParam(), port_), std::optional<bool>(true));
  EXPECT_TRUE(transport_.is_open());
  EXPECT_EQ(transport_.take_received(), std::optional<std::string>(""));
}

INSTANTIATE_TEST_SUITE_P(ByLiteralAndByName, TcpChannelTransportHosts, ::testing::Values("127.0.0.1", "localhost"),
                         testing::by_text);

TEST_F(TcpChannelTransport, ConnectToAPortNobodyListensOnFails) {
  EXPECT_EQ(connect("127.0.0.1", testing::free_port()), std::optional<bool>(false));
  EXPECT_FALSE(transport_.is_open());
  EXPECT_EQ(transport_.take_received(), std::nullopt);
}

TEST_F(TcpChannelTransport, ConnectToAnUnreachableAddressFailsByTheDeadline) {
  // Either nothing answers (the deadline ends it) or there is no route at all.
  EXPECT_EQ(connect("10.255.255.1", port_), std::optional<bool>(false));
  EXPECT_FALSE(transport_.is_open());
}

TEST_F(TcpChannelTransport, ConnectToAMasterThatNeverAnswersFailsByTheDeadline) {
  // A listener whose accept queue is full drops further handshakes without a
  // word, so only the deadline can end the attempt: the kernel alone would
  // keep retrying for minutes, past the test's patience.
  tcp::acceptor silent(peer_io_);
  silent.open(tcp::v4());
  silent.bind({asio::ip::address_v4::loopback(), 0});
  silent.listen(0);
  testing::line_client fills_the_queue(silent.local_endpoint().port());
  EXPECT_EQ(connect("127.0.0.1", silent.local_endpoint().port()), std::optional<bool>(false));
  EXPECT_FALSE(transport_.is_open());
}

TEST_F(TcpChannelTransport, ConnectToAnUnknownHostNameFails) {
  EXPECT_EQ(connect("no-such-host.invalid", port_), std::optional<bool>(false));
}

TEST_F(TcpChannelTransport, CloseWhileConnectingReportsFailure) {
  auto outcome = std::make_shared<std::promise<bool>>();
  auto result = outcome->get_future();
  transport_.connect("10.255.255.1", port_, [outcome](bool connected) { outcome->set_value(connected); });
  transport_.close();
  ASSERT_EQ(result.wait_for(patience), std::future_status::ready);
  EXPECT_FALSE(result.get());
  EXPECT_FALSE(transport_.is_open());
}

TEST_F(TcpChannelTransport, LinesReachTheMasterAsUtf8WithCrLfInOrder) {
  auto master = connect_master();
  transport_.write_line("conecAdmiadmin;secret;^");
  transport_.write_line("\u0422\u0435\u043A\u0441\u0442");
  transport_.write_line("");
  const std::string expected = "conecAdmiadmin;secret;^\r\n\u0422\u0435\u043A\u0441\u0442\r\n\r\n";
  EXPECT_EQ(read_at_peer(master, expected.size()), expected);
}

TEST_F(TcpChannelTransport, ManyLinesWrittenBackToBackKeepTheirOrder) {
  auto master = connect_master();
  std::string expected;
  for (int i = 0; i < 500; ++i) {
    const auto line = "line " + std::to_string(i) + std::string(100, 'x');
    transport_.write_line(line);
    expected += line + "\r\n";
  }
  EXPECT_EQ(read_at_peer(master, expected.size()), expected);
}

TEST_F(TcpChannelTransport, TakeReturnsWhatTheMasterSentThenNothingNew) {
  auto master = connect_master();
  asio::write(master, asio::buffer(std::string("soobs\u041F\u0440\u0438\u0432\u0435\u0442")));
  EXPECT_EQ(take_when_arrived(), std::optional<std::string>("soobs\u041F\u0440\u0438\u0432\u0435\u0442"));
  EXPECT_EQ(transport_.take_received(), std::optional<std::string>(""));
  EXPECT_TRUE(transport_.is_open());
}

TEST_F(TcpChannelTransport, WhatCameBeforeTheMasterClosedIsTakenThenNothing) {
  auto master = connect_master();
  asio::write(master, asio::buffer(std::string("error")));
  master.close();
  ASSERT_TRUE(testing::eventually([&] { return !transport_.is_open(); }));
  EXPECT_EQ(transport_.take_received(), std::optional<std::string>("error"));
  EXPECT_EQ(transport_.take_received(), std::nullopt);
  EXPECT_EQ(transport_.take_received(), std::nullopt);
}

TEST_F(TcpChannelTransport, CloseDiscardsUnreadInput) {
  auto master = connect_master();
  asio::write(master, asio::buffer(std::string("conec")));
  ASSERT_TRUE(testing::eventually([&] { return transport_.unread_bytes() == 5; }));
  transport_.close();
  EXPECT_FALSE(transport_.is_open());
  EXPECT_EQ(transport_.take_received(), std::nullopt);

  auto second_master = connect_master();
  EXPECT_EQ(transport_.take_received(), std::optional<std::string>(""));
  asio::write(second_master, asio::buffer(std::string("error")));
  EXPECT_EQ(take_when_arrived(), std::optional<std::string>("error"));
}

TEST_F(TcpChannelTransport, ConnectingAgainDiscardsTheOldConnectionsInput) {
  auto master = connect_master();
  asio::write(master, asio::buffer(std::string("old")));
  ASSERT_TRUE(testing::eventually([&] { return transport_.unread_bytes() == 3; }));
  auto second_master = connect_master();
  EXPECT_EQ(transport_.take_received(), std::optional<std::string>(""));
  // The old connection was closed on our side.
  EXPECT_EQ(read_at_peer(master, 1), "");
}

TEST_F(TcpChannelTransport, ClosingAClosedChannelIsHarmless) {
  transport_.close();
  transport_.write_line("dropped");
  transport_.close();
  EXPECT_FALSE(transport_.is_open());
  EXPECT_EQ(transport_.take_received(), std::nullopt);

  auto master = connect_master();
  transport_.close();
  transport_.close();
  EXPECT_FALSE(transport_.is_open());
  EXPECT_EQ(read_at_peer(master, 1), "");
}

TEST_F(TcpChannelTransport, InputPastTheCapClosesTheChannel) {
  auto master = connect_master();
  boost::system::error_code ignored;  // we may close before the last bytes land
  asio::write(master, asio::buffer(std::string(channel_max_unread + 1, 'x')), ignored);
  ASSERT_TRUE(testing::eventually([&] { return !transport_.is_open(); }));
  EXPECT_EQ(transport_.take_received(), std::nullopt);
}

TEST_F(TcpChannelTransport, InputUpToTheCapIsKept) {
  auto master = connect_master();
  asio::write(master, asio::buffer(std::string(channel_max_unread, 'x')));
  ASSERT_TRUE(testing::eventually([&] { return transport_.unread_bytes() == channel_max_unread; }));
  EXPECT_TRUE(transport_.is_open());
  EXPECT_EQ(transport_.take_received()->size(), channel_max_unread);
}

// The server runs the channel on a pool: the connection's handlers may run on
// either thread, and nothing the caller sees may tell.
class TcpChannelTransportOnTwoThreads : public TcpChannelTransport {
 protected:
  ~TcpChannelTransportOnTwoThreads() override {
    transport_.close();
    work_.reset();
    io_.stop();
    second_runner_.join();
  }

  std::thread second_runner_{[this] { io_.run(); }};
};

TEST_F(TcpChannelTransportOnTwoThreads, RoundsOfConnectExchangeAndCloseKeepEveryByteInOrder) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto master = connect_master();
    std::string expected;
    for (int i = 0; i < 20; ++i) {
      const auto line = "line " + std::to_string(round) + "." + std::to_string(i);
      transport_.write_line(line);
      expected += line + "\r\n";
    }
    const auto reply = "soobs" + std::to_string(round);
    asio::write(master, asio::buffer(reply));
    EXPECT_EQ(take_when_arrived(), std::optional<std::string>(reply));
    EXPECT_EQ(read_at_peer(master, expected.size()), expected);
    if (round % 2 == 0) {
      transport_.close();
      EXPECT_EQ(transport_.take_received(), std::nullopt);
    } else {
      master.close();
      ASSERT_TRUE(testing::eventually([&] { return !transport_.take_received().has_value(); }));
    }
    EXPECT_FALSE(transport_.is_open());
  }
}

TEST_F(TcpChannelTransportOnTwoThreads, CloseRacingTheConnectAlwaysReportsOnce) {
  for (int round = 0; round < 50; ++round) {
    auto outcome = std::make_shared<std::promise<bool>>();
    auto reported = std::make_shared<std::atomic<int>>(0);
    auto result = outcome->get_future();
    transport_.connect("127.0.0.1", port_, [outcome, reported](bool connected) {
      if (reported->fetch_add(1) == 0) outcome->set_value(connected);
    });
    transport_.close();
    ASSERT_EQ(result.wait_for(patience), std::future_status::ready) << "round " << round;
    // A connect that won the race is closed all the same.
    EXPECT_FALSE(transport_.is_open()) << "round " << round;
    EXPECT_EQ(transport_.take_received(), std::nullopt);
    // The listener's backlog holds whatever got through; drop it.
    boost::system::error_code ignored;
    acceptor_.non_blocking(true);
    while (true) {
      tcp::socket accepted(peer_io_);
      acceptor_.accept(accepted, ignored);
      if (ignored) break;
    }
    EXPECT_EQ(reported->load(), 1) << "round " << round;
  }
}

}  // namespace
}  // namespace velmira
