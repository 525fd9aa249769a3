#include <gtest/gtest.h>

#include "core/text_codec.hpp"

namespace velmira {
namespace {

struct codec_case {
  std::string utf8;
  std::string cp1251;
};

class Utf8ToCp1251 : public ::testing::TestWithParam<codec_case> {};

TEST_P(Utf8ToCp1251, ConvertsCharacterByCharacter) {
  EXPECT_EQ(from_utf8(GetParam().utf8), GetParam().cp1251);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToCp1251,
    ::testing::Values(codec_case{"abc", "abc"}, codec_case{"Да", "\xC4\xE0"},
                      codec_case{"Ёё№", "\xA8\xB8\xB9"},
                      // Characters Windows-1251 lacks become one "?" each.
                      codec_case{"a\xE4\xB8\xAD" "b", "a?b"}, codec_case{"\xF0\x9F\x98\x80", "?"},
                      // Broken UTF-8 costs one "?" per byte and does not stop the rest.
                      codec_case{"x\xFFy", "x?y"}, codec_case{"\xD0", "?"},
                      codec_case{std::string("a\0b", 3), std::string("a\0b", 3)}));

TEST(Cp1251ToUtf8, RoundTripsEveryAssignedByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    if (b != 0x98) all.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(from_utf8(to_utf8(all)), all);
}

TEST(Cp1251ToUtf8, UnassignedByteBecomesQuestionMark) {
  EXPECT_EQ(to_utf8("a\x98z"), "a?z");
  EXPECT_EQ(to_utf8("\xC4\xE0"), "Да");
}

}  // namespace
}  // namespace velmira
