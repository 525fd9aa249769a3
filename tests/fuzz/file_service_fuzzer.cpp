// HTTP requests through the file service over a data directory holding what
// clients fetch. An input is the request target, LF, and the Authorization
// header's value (a CR before the LF dropped).
//
// Besides crashing, a request fails when its reply carries a file it must
// never carry: anything outside the data directory, or setting.ini and
// users.ini without the remote administrator's "^login;password^" form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "core/http_listener.hpp"
#include "fuzz_support.hpp"
#include "support/temp_dir.hpp"
#include "users/user_table.hpp"
#include "users/users_file.hpp"
#include "web/file_service.hpp"
#include "web/request_path.hpp"

namespace velmira {
namespace {

constexpr std::string_view outside_marker = "outside-the-data-directory";

http_request request_from(std::string_view input) {
  auto end = input.find('\n');
  std::string_view target = input.substr(0, end);
  std::string_view authorization = end == std::string_view::npos ? "" : input.substr(end + 1);
  if (!target.empty() && target.back() == '\r') target.remove_suffix(1);
  return {"GET", std::string(target), std::string(authorization)};
}

class web_under_test {
 public:
  web_under_test() {
    dir_.write("outside.ini", outside_marker);
    dir_.write("data/outside.ini", "inside");
    fuzz::seed_data_directory(data_);
    write_published_files();
    users_file(data_, users_).LoadUser("");
    for (int line = first_log_switch_line; line < first_log_switch_line + log_switch_count; ++line) {
      switches_.set(static_cast<log_category>(line), true);
    }
    access_.publish({std::string(fuzz::http_login), std::string(fuzz::http_password), true,
                      std::string(fuzz::admin_login), std::string(fuzz::admin_password)});
  }

  void check(const http_request& request) {
    http_reply reply = service_.handle(request);
    // Nothing an input logs outlives it, so libFuzzer's leak check after
    // every input stays meaningful.
    log_.clear();
    fuzz::require(reply.body.find(outside_marker) == std::string::npos,
                  "a file outside the data directory was served");
    bool administrator = served_path(request).starts_with(administrator_prefix());
    bool private_file = reply.body.find(fuzz::settings_marker) != std::string::npos ||
                        reply.body.find(fuzz::users_marker) != std::string::npos;
    fuzz::require(administrator || !private_file,
                  "setting.ini or users.ini served without the administrator form");
  }

 private:
  // The path as the service reads it: decoded, its first character dropped.
  static std::string served_path(const http_request& request) {
    std::string path = decode_request_path(request.target);
    return path.empty() ? path : path.substr(1);
  }
  static std::string administrator_prefix() {
    return "^" + std::string(fuzz::admin_login) + ";" + std::string(fuzz::admin_password) + "^";
  }

  void write_published_files() const {
    fs::create_directories(data_.file("menu\\05.09.24"));
    put("news\\data.ini", "05.09.2024\v10:30:00\v7465\v7431\vУчитель\vИванов\vЗавтра линейка\v$00FF00\v\r\n");
    put("zametki\\data.ini", "06.09.2024\v9:00:00\v7465\v7431\vИванов\vУчитель\vТетради\v$0000FF\v\r\n");
    put("raspisanie\\05.09.24.ini2", "rasp||Школа №1||1||2||5А$5Б$||Математика$Русский$|\r\n");
    put("raspisanie\\info.ini", "05.09.2024$10:30:00$10:30:00: опубликовано расписание на 05.09.24$$$$$$$\r\n");
    put("menu\\05.09.24\\1.ini", "<p>Каша</p>\r\n~end~\r\n");
    put("menu\\05.09.24.ini", "<!DOCTYPE html>\r\n<html><body><p>Каша</p><br><br>\r\n</body></html>\r\n");
    put("kalendgraf.ini", "<b>1 четверть</b>\r\n");
  }

  void put(std::string_view relative_utf8, std::string_view text_utf8) const {
    fuzz::write_text(data_, relative_utf8, text_utf8);
  }

  testing::temp_dir dir_;
  data_directory data_{dir_.path() / "data"};
  manual_clock clock_{make_local(2024, 9, 5, 10, 30, 0)};
  log_switches switches_;
  event_log log_{clock_, switches_};
  user_table users_;
  published<access_settings> access_;
  file_service service_{data_, users_, access_, log_};
};

}  // namespace
}  // namespace velmira

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velmira::web_under_test web;
  web.check(velmira::request_from(velmira::fuzz::as_text(data, size)));
  return 0;
}
