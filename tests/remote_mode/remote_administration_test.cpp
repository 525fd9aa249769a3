// The channel from the operator's side, over a fake transport: what a send
// needs, how replies are read off the poll, and what each one does.
#include "remote_mode/remote_administration.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/autostart.hpp"
#include "remote_mode/http_fetch.hpp"
#include "remote_mode/http_fetch_test_server.hpp"
#include "support/fake_channel_transport.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Records what the channel makes the server do.
struct recording_owner final : remote_owner {
  std::vector<std::string> logs, messages, pull_events;
  int switches_to_local = 0, fallbacks = 0;
  bool server_page = true;

  void switch_to_local() override { ++switches_to_local; }
  void fall_back_after_refusal() override { ++fallbacks; }
  bool server_page_shown() const override { return server_page; }
  void show_message(std::string utf8) override { messages.push_back(std::move(utf8)); }
  void log(std::string_view utf8) override { logs.emplace_back(utf8); }
  void progress(int step, int) override { pull_events.push_back("step " + std::to_string(step)); }
  void reload(pull_followup) override { pull_events.push_back("reload"); }
  void classrooms_missing() override { pull_events.push_back("classrooms missing"); }
  void finished() override { pull_events.push_back("finished"); }
};

class RemoteAdministration : public ::testing::Test {
 protected:
  RemoteAdministration() {
    settings.main_tcp_port = "7001";
    settings.admin_login = "admin";
    settings.admin_password = "pw";
    settings.master_address = "127.0.0.1";
  }

  // Runs what the transport's completions posted to the operator's context.
  void deliver() { operator_context.poll(); }

  // The operator's context runs only in deliver() and pull_to_the_end(),
  // so ticks are called by hand; the network's runs only for a pull.
  boost::asio::io_context operator_context, network;
  testing::fake_channel_transport transport;
  testing::temp_dir dir;
  data_directory data{dir.path()};
  settings_page settings;
  server_page page;
  autostart_entry autostart{dir.path(), dir.path() / "velmira", dir.path() / "autostart", {}};
  settings_file file{data, settings, page, autostart};
  recording_owner owner;
  remote_administration channel{network, operator_context, transport, settings, file, data, owner};
};

TEST_F(RemoteAdministration, SendsMadeWhileConnectingGoOutInOrderOnceConnected) {
  channel.NaUdServerSend("settiAdmizvonok\\spisok.ini;", "a|");
  channel.NaUdServerSend("settiAdmizvend;", "a|");
  EXPECT_TRUE(channel.busy());
  ASSERT_EQ(transport.connects().size(), 1u);
  EXPECT_EQ(transport.connects()[0].host, "127.0.0.1");
  EXPECT_EQ(transport.connects()[0].port, 7001);

  ASSERT_TRUE(transport.complete_connect());
  EXPECT_TRUE(transport.written_lines().empty()) << "sent before the operator's thread heard of the connect";
  deliver();
  EXPECT_FALSE(channel.busy());
  EXPECT_THAT(transport.written_lines(), ElementsAre("settiAdmizvonok\\spisok.ini;admin;pw;a|^",
                                                      "settiAdmizvend;admin;pw;a|^"));
}

TEST_F(RemoteAdministration, AnUnreachableMasterIsLoggedToldAndEndsRemoteMode) {
  transport.set_connect_succeeds(false);
  channel.BitBtn2Click();
  transport.complete_connect();
  deliver();
  EXPECT_THAT(owner.logs, ElementsAre("удаленный сервер недоступен. Попробуйте позже."));
  EXPECT_THAT(owner.messages,
              ElementsAre("Удаленный сервер недоступен. Попробуйте позже.\nСервер переведен в локальный режим."));
  EXPECT_EQ(owner.switches_to_local, 1);
  EXPECT_FALSE(channel.busy());
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
  EXPECT_EQ(owner.switches_to_local, 4);
  ASSERT_EQ(owner.messages.size(), 4u);
  EXPECT_EQ(owner.messages[0],
            "Не указаны данные удаленного администрирования или основной порт TCP\nПроверьте настройки\n"
            "Сервер переведен в локальный режим.");
}

class ConnectedChannel : public RemoteAdministration {
 protected:
  ConnectedChannel() {
    channel.BitBtn2Click();
    transport.complete_connect();
    deliver();
  }

  // Runs the pull the master's acceptance started, the network on a thread
  // of its own as in the server, until the pull has no work left: it ends
  // on the network once its last report ran on the operator's context.
  void pull_to_the_end() {
    std::atomic<bool> ended{false};
    std::thread network_thread([&] {
      network.run();
      ended = true;
    });
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!ended && std::chrono::steady_clock::now() < give_up) {
      operator_context.run_one_for(std::chrono::milliseconds(50));
    }
    if (!ended) network.stop();  // the test fails below; the thread must end all the same
    network_thread.join();
  }
};

TEST_F(ConnectedChannel, AMessageIsLoggedShownAndClosesTheChannel) {
  transport.push_received("soobsСписок кабинетов по удаленному доступу успешно передан.");
  channel.Timer4Timer();
  EXPECT_THAT(owner.messages, ElementsAre("Список кабинетов по удаленному доступу успешно передан."));
  EXPECT_THAT(owner.logs, ElementsAre("Список кабинетов по удаленному доступу успешно передан."));
  EXPECT_FALSE(transport.is_open());
}

TEST_F(ConnectedChannel, AReplySplitBetweenTwoPollsIsTwoRepliesAndTheSecondIsIgnored) {
  transport.push_received("so");
  channel.Timer4Timer();
  transport.push_received("obsТекст");
  channel.Timer4Timer();
  EXPECT_THAT(owner.messages, IsEmpty());
  EXPECT_TRUE(transport.is_open());
}

TEST_F(ConnectedChannel, ARefusalOnTheServerPageIsOnlyLogged) {
  transport.push_received("error");
  channel.Timer4Timer();
  EXPECT_THAT(owner.logs, ElementsAre(::testing::StartsWith("В удаленном доступе отказано.")));
  EXPECT_THAT(owner.messages, IsEmpty());
  EXPECT_EQ(owner.fallbacks, 0);
  EXPECT_FALSE(transport.is_open());
}

TEST_F(ConnectedChannel, ARefusalElsewhereFallsBackToLocalFilesAndIsShown) {
  owner.server_page = false;
  transport.push_received("error");
  channel.Timer4Timer();
  EXPECT_EQ(owner.fallbacks, 1);
  ASSERT_EQ(owner.messages.size(), 1u);
  EXPECT_EQ(owner.messages[0], owner.logs.at(0));
}

TEST_F(ConnectedChannel, AnAcceptedLoginPullsAndNothingIsReadUntilThePullEnds) {
  // A master whose file service is down: every step fails, quickly.
  file.port_HTTP = std::to_string(testing::unused_loopback_port());
  transport.push_received("conec2.0.4$...");
  channel.Timer4Timer();
  EXPECT_TRUE(channel.busy());
  transport.push_received("soobsmeanwhile");
  channel.Timer4Timer();
  EXPECT_THAT(owner.messages, IsEmpty());
  EXPECT_TRUE(transport.is_open());

  pull_to_the_end();
  EXPECT_FALSE(channel.busy());
  EXPECT_FALSE(transport.is_open());
  EXPECT_EQ(owner.pull_events.front(), "step 1");
  EXPECT_EQ(owner.pull_events.back(), "finished");
  EXPECT_EQ(owner.logs.size(), 7u);
  // What arrived during the pull went with the channel.
  channel.Timer4Timer();
  EXPECT_THAT(owner.messages, IsEmpty());
}

TEST_F(ConnectedChannel, ThePullAsksTheMastersAddressAtTheLocalFilesHttpPortWithItsCredentials) {
  testing::canned_http_server master({{"/^admin;pw^setting.ini", {200, "text/plain", "[settings]\r\n"}}});
  file.port_HTTP = std::to_string(master.port());
  file.login_HTTP = "web";
  file.pas_HTTP = "webpw";
  transport.push_received("conec2.0.4$...");
  channel.Timer4Timer();
  pull_to_the_end();

  auto requests = master.requests();
  ASSERT_EQ(requests.size(), 7u);
  EXPECT_EQ(requests[0].target, "/^admin;pw^setting.ini");
  for (const auto& request : requests) EXPECT_EQ(request.authorization, basic_authorization("web", "webpw"));
  EXPECT_EQ(dir.read("remote/setting.ini"), "[settings]\r\n\r\n");
  EXPECT_EQ(owner.logs.front(), "Настройки сервера получены.");
}

}  // namespace
}  // namespace velmira
