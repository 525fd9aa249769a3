#include "remote_mode/admin_message.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/case_name.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

struct message_case {
  const char* name;
  std::string command, login, password, payload;  // Windows-1251
  std::string utf8_line;
};

class AdminMessage : public ::testing::TestWithParam<message_case> {};

TEST_P(AdminMessage, JoinsThePartsAndConvertsToUtf8) {
  const auto& c = GetParam();
  EXPECT_EQ(admin_message(c.command, c.login, c.password, c.payload), c.utf8_line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdminMessage,
    ::testing::Values(
        message_case{"LogIn", "conecAdmi", "admin", "secret", "", "conecAdmiadmin;secret;^"},
        message_case{"Push", "settiAdmiusers.ini;", "admin", "secret", "a|b|", "settiAdmiusers.ini;admin;secret;a|b|^"},
        message_case{"EmptyCredentials", "conecAdmi", "", "", "", "conecAdmi;;^"},
        // "Адм" / "пар" in Windows-1251 go out as UTF-8.
        message_case{"Cp1251Credentials", "conecAdmi", "\xC0\xE4\xEC", "\xEF\xE0\xF0", "",
                     "conecAdmi\u0410\u0434\u043C;\u043F\u0430\u0440;^"},
        // The payload is converted too: "ё|Ё|".
        message_case{"Cp1251Payload", "settiAdmix.ini;", "a", "p", "\xB8|\xA8|", "settiAdmix.ini;a;p;\u0451|\u0401|^"}),
    testing::by_name);

struct payload_case {
  std::string name;
  std::string bytes;
  std::string payload;
};

class FilePayload : public ::testing::TestWithParam<payload_case> {};

TEST_P(FilePayload, EveryLineIsFollowedByABar) {
  testing::temp_dir dir;
  dir.write("data.ini", GetParam().bytes);
  EXPECT_EQ(SchitFilUd(dir.path() / "data.ini"), GetParam().payload);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilePayload,
    ::testing::Values(payload_case{"EmptyMiddleLine", "first\r\n\r\nthird\r\n", "first||third|"},
                      payload_case{"LastLineWithoutEnd", "a\r\nb", "a|b|"},
                      payload_case{"CrOnlyEnds", "a\rb\r", "a|b|"},
                      payload_case{"LfOnlyEnds", "a\nb\n", "a|b|"},
                      payload_case{"EmptyFile", "", ""},
                      payload_case{"OneEmptyLine", "\r\n", "|"},
                      // The payload stays Windows-1251 until admin_message converts it.
                      payload_case{"Cp1251Kept", "\xC0\xE4\xEC\r\n", "\xC0\xE4\xEC|"}),
    testing::by_name);

TEST(FilePayload, MissingFileIsEmpty) {
  testing::temp_dir dir;
  EXPECT_EQ(SchitFilUd(dir.path() / "absent.ini"), "");
}

struct reply_case {
  std::string name;
  std::string taken;
  reply_kind kind;
  std::string text;
};

class ClassifyReply : public ::testing::TestWithParam<reply_case> {};

TEST_P(ClassifyReply, TheFirstFiveCharactersDecide) {
  const auto reply = classify_reply(GetParam().taken);
  EXPECT_EQ(reply.kind, GetParam().kind);
  EXPECT_EQ(reply.text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassifyReply,
    ::testing::Values(reply_case{"Accepted", "conecAdmi ok", reply_kind::accepted, ""},
                      reply_case{"AcceptedBare", "conec", reply_kind::accepted, ""},
                      reply_case{"Refused", "error", reply_kind::refused, ""},
                      reply_case{"Message", "soobs\u0422\u0435\u043A\u0441\u0442", reply_kind::message,
                                 "\u0422\u0435\u043A\u0441\u0442"},
                      reply_case{"EmptyMessage", "soobs", reply_kind::message, ""},
                      reply_case{"ShortWord", "soob", reply_kind::ignored, ""},
                      reply_case{"Unknown", "xyz", reply_kind::ignored, ""},
                      reply_case{"Nothing", "", reply_kind::ignored, ""},
                      reply_case{"WrongCase", "Conec", reply_kind::ignored, ""},
                      // Two replies taken in one poll are one: the first word decides
                      // and the rest is the message text.
                      reply_case{"TwoRepliesRefusedFirst", "errorconec", reply_kind::refused, ""},
                      reply_case{"TwoRepliesMessageFirst", "soobsHiconec", reply_kind::message, "Hiconec"},
                      // A reply split between two polls: the second half begins with
                      // neither word.
                      reply_case{"SplitFirstHalf", "soo", reply_kind::ignored, ""},
                      reply_case{"SplitSecondHalf", "bsHello", reply_kind::ignored, ""}),
    testing::by_name);

}  // namespace
}  // namespace velmira
