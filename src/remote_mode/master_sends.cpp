#include "remote_mode/master_sends.hpp"

#include <string_view>

#include "remote_mode/admin_message.hpp"

namespace velmira {

namespace {

struct master_copy {
  std::string_view command;
  std::string_view copy;  // under remote\, as the pull stores it
};

master_copy copy_of(master_file file) {
  switch (file) {
    case master_file::users:
      return {"settiAdmiusers.ini;", "users.ini"};
    case master_file::classrooms:
      return {"settiAdmiraspisanie\\kab.ini;", "kab.ini"};
    case master_file::calendar:
      return {"settiAdmikalendgraf.rtf;", "kalendgraf.rtf"};
    case master_file::notes:
      return {"settiAdmizametki\\data.ini;", "zametki.ini"};
    case master_file::news:
      return {"settiAdminews\\data.ini;", "news.ini"};
  }
  return {};
}

std::string payload_of(const data_directory& data, std::string_view copy) {
  return SchitFilUd(data.file("remote\\" + std::string(copy)));
}

}  // namespace

void send_to_master(remote_administration& channel, const data_directory& data, master_file file) {
  auto [command, copy] = copy_of(file);
  channel.NaUdServerSend(command, payload_of(data, copy));
}

void ZvonkiOtprav(remote_administration& channel, const data_directory& data,
                  const std::vector<std::string>& schema_names) {
  auto payload = payload_of(data, "spisok.ini");
  channel.NaUdServerSend("settiAdmizvonok\\spisok.ini;", payload);
  for (const auto& name : schema_names) {
    payload = payload_of(data, name + ".ini");
    channel.NaUdServerSend("settiAdmizvonok\\" + name + ".ini;", payload);
  }
  channel.NaUdServerSend("settiAdmizvend;", payload);
}

}  // namespace velmira
