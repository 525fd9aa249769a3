#include "core/data_directory.hpp"

#include <algorithm>
#include <iterator>

#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {

data_directory::data_directory(fs::path root) : root_(std::move(root)) {}

namespace {

std::string with_slashes(std::string_view relative) {
  std::string path(relative);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

fs::path data_directory::file(std::string_view relative) const {
  return root_ / fs::path(to_utf8(with_slashes(relative)));
}

std::optional<fs::path> data_directory::checked_file(std::string_view relative) const {
  std::string path = with_slashes(relative);
  std::string_view rest = path;
  if (rest.empty()) return std::nullopt;
  for (;;) {
    auto slash = rest.find('/');
    if (!usable_file_name(rest.substr(0, slash))) return std::nullopt;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return root_ / fs::path(to_utf8(path));
}

void data_directory::create_tree() const {
  for (const char* folder : {"zametki", "news", "menu", "remote", "raspisanie"}) {
    fs::create_directories(root_ / folder);
  }
}

// Both placeholder steps run on every start: they write only what differs,
// so that a full disk does not keep the server from starting again.
void data_directory::reset_text_placeholders() const {
  replace_file_if_changed(file("zametki\\error.ini"), "");
  replace_file_if_changed(file("news\\error.ini"), "");
}

void data_directory::write_placeholder_pages() const {
  auto page = placeholder_page();
  replace_file_if_changed(file("raspisanie\\error.ini"), page);
  replace_file_if_changed(file("menu\\error.ini"), page);
}

bool usable_file_name(std::string_view name) {
  // Dots inside a name ("a..b") are no parent reference.
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || c == ':' || c == '/' || c == '\\') return false;
  }
  return true;
}

mode_t new_file_permissions(std::string_view relative) {
  static constexpr std::string_view with_passwords[] = {"users.ini", "setting.ini", "remote\\users.ini",
                                                        "remote\\setting.ini"};
  return std::ranges::find(with_passwords, relative) != std::end(with_passwords) ? 0600 : 0644;
}

std::string placeholder_page() {
  static const std::string page = join_lines({
      "<!DOCTYPE html>",
      "<html>",
      "<head>",
      "<style>",
      "  html { overflow:  hidden; }",
      "  div { height:  2000px; }",
      "    .test1 {font-weight: bold;",
      "           color: #0061B0;",
      "           text-align: center;",
      "           text-shadow: 1px 1px 3px #666666,",
      "                       -1px -1px 3px #FFFFFF;}",
      ".shadowtext {",
      "color: #0061B0;",
      "text-shadow: 2px 4px 3px rgba(0,97,176,0.3);",
      "text-align: center;",
      "}",
      "</style>",
      "</head>",
      "<body>",
      from_utf8("<p class=\"shadowtext\"><b>Скоро!<br>На всех экранах смартфонов!</b></p><br>"),
      " </body>",
      "</html>",
  });
  return page;
}

}  // namespace velmira
