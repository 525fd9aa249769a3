#include "web/request_path.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/text_codec.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

struct decode_case {
  const char* name;
  std::string target;
  std::string expected_utf8;  // the decoded path, shown as UTF-8 to keep the table readable
};

class DecodeRequestPath : public ::testing::TestWithParam<decode_case> {};

TEST_P(DecodeRequestPath, GivesWindows1251Path) {
  const auto& c = GetParam();
  EXPECT_EQ(decode_request_path(c.target), from_utf8(c.expected_utf8)) << c.target;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, DecodeRequestPath,
    ::testing::Values(decode_case{"Plain", "/news/data.ini", "/news/data.ini"},
                      decode_case{"QueryDropped", "/news/data.ini?x=1&y=%41", "/news/data.ini"},
                      decode_case{"EscapedDots", "/%2e%2E/x", "/../x"},
                      decode_case{"PlusKeptEscapedSpace", "/a+b%20c", "/a+b c"},
                      // UTF-8 escapes, as copies of this server send them.
                      decode_case{"Utf8Escapes", "/zvonok/%D0%9E%D1%81%D0%BD%D0%BE%D0%B2%D0%BD%D0%BE%D0%B5.ini",
                                  "/zvonok/Основное.ini"},
                      // Not UTF-8: the bytes are already Windows-1251.
                      decode_case{"Windows1251Escapes", "/zvonok/%CE%F1%ED%EE%E2%ED%EE%E5.ini", "/zvonok/Основное.ini"},
                      // Malformed escapes stay as written.
                      decode_case{"MalformedEscapes", "/a%zz%4", "/a%zz%4"},
                      decode_case{"PercentAtTheEnd", "/100%", "/100%"}),
    testing::by_name);

TEST(DecodeRequestPath, KeepsNulAndControlBytesForTheCallerToRefuse) {
  EXPECT_EQ(decode_request_path("/a%00b%0A"), std::string("/a\0b\n", 5));
}

struct wire_case {
  const char* name;
  std::string bytes;
  std::string cp1251;
};

class TextFromWire : public ::testing::TestWithParam<wire_case> {};

// What from_utf8 refuses as UTF-8 is taken as Windows-1251 here, byte for
// byte; what it accepts is decoded the same way on both paths.
TEST_P(TextFromWire, ReadsUtf8ExactlyWhenTheDecoderAcceptsIt) {
  EXPECT_EQ(text_from_wire(GetParam().bytes), GetParam().cp1251);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, TextFromWire,
    ::testing::Values(wire_case{"Ascii", "plain", "plain"}, wire_case{"Utf8Cyrillic", "\xD0\x9E\xD1\x81", "\xCE\xF1"},
                      wire_case{"Utf8OutsideWindows1251", "\xF0\x9F\x98\x80", "?"},
                      wire_case{"Windows1251", "\xCE\xF1", "\xCE\xF1"},
                      wire_case{"OverlongTwoBytes", "\xC0\xAF", "\xC0\xAF"},                   // overlong "/"
                      wire_case{"OverlongThreeBytes", "\xE0\x80\xAF", "\xE0\x80\xAF"},
                      wire_case{"Surrogate", "\xED\xA0\x80", "\xED\xA0\x80"},
                      wire_case{"PastTheLastCodePoint", "\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},   // past U+10FFFF
                      wire_case{"CutShort", "\xD0\x9E\xD0", "\xD0\x9E\xD0"},
                      wire_case{"LoneContinuation", "a\x80", "a\x80"}),
    testing::by_name);

}  // namespace
}  // namespace velmira
