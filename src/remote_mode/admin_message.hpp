#pragma once
// The messages a server in remote mode sends its master and the replies it
// reads back. Pure functions, thread-safe.
#include <filesystem>
#include <string>
#include <string_view>

namespace velmira {

// command + login + ";" + password + ";" + payload + "^", every part in
// Windows-1251 as the server keeps it; returns the UTF-8 line the channel
// carries, without its CR LF. The command carries its own arguments, e.g.
// "settiAdmiusers.ini;".
std::string admin_message(std::string_view command, std::string_view login, std::string_view password,
                          std::string_view payload);

// A data file as a message payload: every line followed by "|", the last
// one too, so the master can rebuild the file line for line whatever line
// ends it had here. A missing file is the empty payload; other read
// failures throw data_file_error.
std::string SchitFilUd(const std::filesystem::path& path);

enum class reply_kind {
  accepted,  // "conec": the master took the login
  refused,   // "error"
  message,   // "soobs" + text for the operator
  ignored,   // anything else, including the tail of a reply split between polls
};

struct admin_reply {
  reply_kind kind = reply_kind::ignored;
  // For a message only: everything after its first five characters, UTF-8
  // as received, since it is shown and logged as is.
  std::string text;
};

// What one poll took off the channel is one reply, told by its first five
// characters; two replies taken together are read as the first.
admin_reply classify_reply(std::string_view utf8_taken);

}  // namespace velmira
