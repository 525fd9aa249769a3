#include "fuzz_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/data_file.hpp"
#include "core/text_codec.hpp"
#include "users/roles.hpp"
#include "users/users_file.hpp"

namespace velmira::fuzz {

namespace fs = std::filesystem;

std::string seeded_settings_ini() {
  std::vector<std::string> lines = {
      std::string(settings_marker),  // 1 client version
      "7001", "7002", "7003",        // 2-4 ports
      "+7 495 000-00-00", "school.example", "office@school.example", "vk.com/school",  // 5-8
      std::string(http_login), std::string(http_password),  // 9-10
  };
  lines.insert(lines.end(), 11, "1");  // 11-21 log switches
  // 22 hide, 23 notes purge, 24-26 purges, 27 autostart, 28 calendar, 29 mode, 30 remote administration
  lines.insert(lines.end(), {"0", "1", "1;2;", "1;0;", "0;-1;", "0", "1", "1", "1"});
  lines.insert(lines.end(), {std::string(admin_login), std::string(admin_password), "192.0.2.1"});  // 31-33
  return join_lines(lines);
}

namespace {

TMassLogIn user(std::string_view full_name_utf8, std::string class_name, const std::string& role,
                std::string login, std::string password, std::string active = "1") {
  const auto& yes = roles::yes();
  return {std::move(active), from_utf8(full_name_utf8), std::move(class_name), role, std::move(login),
          std::move(password), yes, yes, yes};
}

}  // namespace

std::string seeded_users_ini() {
  return format_users({
      user("Петрова Анна Сергеевна", "", roles::dispatcher(), "disp", "d1"),
      user("Кузнецова Ольга", "", roles::canteen(), "stol", "s1"),
      user(users_marker, "", roles::teacher(), "teacher", "t1"),
      user("Иванов Пётр", from_utf8("5А"), roles::pupil(), "pupil", "p1"),
      user("Сидоров Иван", "", roles::teacher(), "blocked", "b1", "0"),
  });
}

void write_text(const data_directory& data, std::string_view relative_utf8, std::string_view text_utf8) {
  replace_file_atomically(data.file(from_utf8(relative_utf8)), from_utf8(text_utf8));
}

void seed_data_directory(const data_directory& data) {
  data.create_tree();
  data.reset_text_placeholders();
  data.write_placeholder_pages();
  fs::create_directories(data.file("zvonok"));
  replace_file_atomically(data.file("setting.ini"), seeded_settings_ini());
  replace_file_atomically(data.file("users.ini"), seeded_users_ini());
  write_text(data, "zvonok\\spisok.ini", "\r\n\r\n---\r\n\r\n\r\n---\r\nОсновное\r\n");
  write_text(data, "zvonok\\Основное.ini", "8:30:9:15:45:10:\r\n");
  write_text(data, "raspisanie\\kab.ini", "101/102/Спортзал/\r\n");
  write_text(data, "kalendgraf.rtf", "{\\rtf1\\ansi\\ansicpg1251 {\\b 1 четверть}\\par}\r\n");
}

bool grown_past(const fs::path& root, std::uintmax_t max_bytes, std::size_t max_entries) {
  std::uintmax_t bytes = 0;
  std::size_t entries = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (++entries > max_entries) return true;
    std::error_code ec;
    if (entry.is_regular_file(ec)) bytes += entry.file_size(ec);
    if (bytes > max_bytes) return true;
  }
  return false;
}

void invariant_broken(const char* what) {
  std::fprintf(stderr, "==fuzz== invariant broken: %s\n", what);
  std::abort();
}

}  // namespace velmira::fuzz
