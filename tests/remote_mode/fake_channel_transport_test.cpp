// The fake stands in for the TCP channel in tests of the code driving it;
// these hold it to the promises of the interface that such code relies on.
#include "support/fake_channel_transport.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmira {
namespace {

using testing::fake_channel_transport;

TEST(FakeChannelTransport, PostedConnectCompletesOutsideConnect) {
  fake_channel_transport channel;
  std::deque<std::function<void()>> queued;
  channel.complete_connects_through([&](std::function<void()> work) { queued.push_back(std::move(work)); });
  std::vector<bool> outcomes;
  channel.connect("master", 7000, [&](bool connected) { outcomes.push_back(connected); });
  EXPECT_TRUE(outcomes.empty());
  ASSERT_EQ(queued.size(), 1u);
  queued.front()();
  EXPECT_EQ(outcomes, std::vector<bool>{true});
  EXPECT_TRUE(channel.is_open());
  ASSERT_EQ(channel.connects().size(), 1u);
  EXPECT_EQ(channel.connects()[0].host, "master");
  EXPECT_EQ(channel.connects()[0].port, 7000);
}

TEST(FakeChannelTransport, CloseAbandonsAPendingConnectAndDiscardsInput) {
  fake_channel_transport channel;
  std::vector<bool> outcomes;
  channel.connect("master", 1, [&](bool connected) { outcomes.push_back(connected); });
  channel.close();
  EXPECT_EQ(outcomes, std::vector<bool>{false});
  EXPECT_FALSE(channel.complete_connect());

  channel.connect("master", 1, [](bool) {});
  ASSERT_TRUE(channel.complete_connect());
  channel.push_received("conec");
  channel.close();
  EXPECT_EQ(channel.take_received(), std::nullopt);
}

TEST(FakeChannelTransport, FollowsTheChannelsLifecycle) {
  fake_channel_transport channel;
  channel.set_connect_succeeds(false);
  channel.connect("master", 1, [](bool) {});
  ASSERT_TRUE(channel.complete_connect());
  channel.write_line("dropped while closed");
  EXPECT_EQ(channel.take_received(), std::nullopt);

  channel.set_connect_succeeds(true);
  channel.connect("master", 1, [](bool) {});
  ASSERT_TRUE(channel.complete_connect());
  channel.write_line("one");
  EXPECT_EQ(channel.take_received(), std::optional<std::string>(""));
  channel.push_received("soobsHi");
  channel.end_by_peer();
  EXPECT_EQ(channel.take_received(), std::optional<std::string>("soobsHi"));
  EXPECT_EQ(channel.take_received(), std::nullopt);

  channel.connect("master", 1, [](bool) {});
  ASSERT_TRUE(channel.complete_connect());
  channel.set_writes_fail(true);
  channel.write_line("lost");
  EXPECT_FALSE(channel.is_open());
  EXPECT_EQ(channel.written_lines(), std::vector<std::string>{"one"});
}

}  // namespace
}  // namespace velmira
