#include "remote_mode/admin_message.hpp"

#include "core/data_file.hpp"
#include "core/text_codec.hpp"

namespace velmira {

namespace {

constexpr std::size_t reply_word_length = 5;

}  // namespace

std::string admin_message(std::string_view command, std::string_view login, std::string_view password,
                          std::string_view payload) {
  std::string cp1251;
  cp1251.reserve(command.size() + login.size() + password.size() + payload.size() + 3);
  cp1251.append(command).append(login).append(";").append(password).append(";").append(payload).append("^");
  return to_utf8(cp1251);
}

std::string SchitFilUd(const std::filesystem::path& path) {
  std::string payload;
  for (const auto& line : read_lines(path).value_or(std::vector<std::string>{})) {
    payload.append(line).append("|");
  }
  return payload;
}

admin_reply classify_reply(std::string_view utf8_taken) {
  const auto word = utf8_taken.substr(0, reply_word_length);
  if (word == "conec") return {reply_kind::accepted, {}};
  if (word == "error") return {reply_kind::refused, {}};
  if (word == "soobs") return {reply_kind::message, std::string(utf8_taken.substr(reply_word_length))};
  return {reply_kind::ignored, {}};
}

}  // namespace velmira
