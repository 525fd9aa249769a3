// The channel from the operator's side, over a fake transport: what a send
// needs, how replies are read off the poll, and what each one does.
#include "remote_mode/remote_administration.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <functional>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "support/fake_channel_transport.hpp"

namespace velmira {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RemoteAdministration : public ::testing::Test {
 protected:
  RemoteAdministration() {
    settings.main_tcp_port = "7001";
    settings.admin_login = "admin";
    settings.admin_password = "pw";
    settings.master_address = "127.0.0.1";
  }

  std::vector<std::string> log_texts() const {
    std::vector<std::string> texts;
    for (const auto& line : log.lines()) texts.push_back(line.substr(line.find(": ") + 2));
    return texts;
  }

  // The operator's context never runs here: ticks are called by hand.
  boost::asio::io_context operator_context;
  testing::fake_channel_transport transport;
  settings_page settings;
  manual_clock clock{make_local(2024, 9, 5, 10, 0, 0)};
  event_log log{clock, settings.log};
  std::vector<std::string> messages;
  int switches_to_local = 0, fallbacks = 0;
  bool server_page = true;
  std::function<void()> finish_pull;
  remote_administration channel{operator_context,
                                [](std::function<void()> work) { work(); },
                                transport,
                                settings,
                                log,
                                {[this] { ++switches_to_local; }, [this] { ++fallbacks; },
                                 [this] { return server_page; },
                                 [this](std::string text) { messages.push_back(std::move(text)); },
                                 [this](std::function<void()> finished) { finish_pull = std::move(finished); }}};
};

TEST_F(RemoteAdministration, SendsMadeWhileConnectingGoOutInOrderOnceConnected) {
  channel.NaUdServerSend("settiAdmizvonok\\spisok.ini;", "a|");
  channel.NaUdServerSend("settiAdmizvend;", "a|");
  EXPECT_TRUE(channel.busy());
  ASSERT_EQ(transport.connects().size(), 1u);
  EXPECT_EQ(transport.connects()[0].host, "127.0.0.1");
  EXPECT_EQ(transport.connects()[0].port, 7001);

  ASSERT_TRUE(transport.complete_connect());
  EXPECT_FALSE(channel.busy());
  EXPECT_THAT(transport.written_lines(), ElementsAre("settiAdmizvonok\\spisok.ini;admin;pw;a|^",
                                                      "settiAdmizvend;admin;pw;a|^"));
}

TEST_F(RemoteAdministration, AnUnreachableMasterIsLoggedToldAndEndsRemoteMode) {
  transport.set_connect_succeeds(false);
  channel.BitBtn2Click();
  transport.complete_connect();
  EXPECT_THAT(log_texts(), ElementsAre("удаленный сервер недоступен. Попробуйте позже."));
  EXPECT_THAT(messages, ElementsAre("Удаленный сервер недоступен. Попробуйте позже.\nСервер переведен в локальный режим."));
  EXPECT_EQ(switches_to_local, 1);
  EXPECT_THAT(transport.written_lines(), IsEmpty());
}

TEST_F(RemoteAdministration, MissingChannelDataSendsNothing) {
  const std::vector<std::function<void(settings_page&)>> gaps = {
      [](settings_page& s) { s.admin_login.clear(); }, [](settings_page& s) { s.admin_password.clear(); },
      [](settings_page& s) { s.master_address.clear(); }, [](settings_page& s) { s.main_tcp_port = "x"; }};
  for (const auto& gap : gaps) {
    auto login = settings.admin_login, password = settings.admin_password, address = settings.master_address,
         port = settings.main_tcp_port;
    gap(settings);
    channel.BitBtn2Click();
    settings.admin_login = login, settings.admin_password = password, settings.master_address = address,
    settings.main_tcp_port = port;
  }
  EXPECT_THAT(transport.connects(), IsEmpty());
  EXPECT_EQ(switches_to_local, 4);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0],
            "Не указаны данные удаленного администрирования или основной порт TCP\nПроверьте настройки\n"
            "Сервер переведен в локальный режим.");
}

class ConnectedChannel : public RemoteAdministration {
 protected:
  ConnectedChannel() {
    channel.BitBtn2Click();
    transport.complete_connect();
  }
};

TEST_F(ConnectedChannel, AMessageIsLoggedShownAndClosesTheChannel) {
  transport.push_received("soobsСписок кабинетов по удаленному доступу успешно передан.");
  channel.Timer4Timer();
  EXPECT_THAT(messages, ElementsAre("Список кабинетов по удаленному доступу успешно передан."));
  EXPECT_THAT(log_texts(), ElementsAre("Список кабинетов по удаленному доступу успешно передан."));
  EXPECT_FALSE(transport.is_open());
}

TEST_F(ConnectedChannel, AReplySplitBetweenTwoPollsIsTwoRepliesAndTheSecondIsIgnored) {
  transport.push_received("so");
  channel.Timer4Timer();
  transport.push_received("obsТекст");
  channel.Timer4Timer();
  EXPECT_THAT(messages, IsEmpty());
  EXPECT_TRUE(transport.is_open());
}

TEST_F(ConnectedChannel, ARefusalOnTheServerPageIsOnlyLogged) {
  transport.push_received("error");
  channel.Timer4Timer();
  EXPECT_THAT(log_texts(), ElementsAre(::testing::StartsWith("В удаленном доступе отказано.")));
  EXPECT_THAT(messages, IsEmpty());
  EXPECT_EQ(fallbacks, 0);
  EXPECT_FALSE(transport.is_open());
}

TEST_F(ConnectedChannel, ARefusalElsewhereFallsBackToLocalFilesAndIsShown) {
  server_page = false;
  transport.push_received("error");
  channel.Timer4Timer();
  EXPECT_EQ(fallbacks, 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], log_texts().at(0));
}

TEST_F(ConnectedChannel, AnAcceptedLoginPullsAndNothingIsReadUntilThePullEnds) {
  transport.push_received("conec2.0.4$...");
  channel.Timer4Timer();
  ASSERT_TRUE(finish_pull);
  EXPECT_TRUE(channel.busy());
  transport.push_received("soobsmeanwhile");
  channel.Timer4Timer();
  EXPECT_THAT(messages, IsEmpty());

  finish_pull();
  EXPECT_FALSE(channel.busy());
  EXPECT_FALSE(transport.is_open());
  // What arrived during the pull went with the channel.
  channel.Timer4Timer();
  EXPECT_THAT(messages, IsEmpty());
}

}  // namespace
}  // namespace velmira
