#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text_codec.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

struct decode_case {
  const char* name;
  std::string utf8;
  bool valid;
  std::string cp1251;
};

class FromUtf8Cases : public ::testing::TestWithParam<decode_case> {};

TEST_P(FromUtf8Cases, DecodesStrictlyAndReplacesWhatItCannotKeep) {
  const auto& c = GetParam();
  EXPECT_EQ(is_valid_utf8(c.utf8), c.valid);
  EXPECT_EQ(from_utf8(c.utf8), c.cp1251);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FromUtf8Cases,
    ::testing::Values(
        decode_case{"ascii", "abc", true, "abc"},
        decode_case{"ascii_with_nul", std::string("a\0b", 3), true, std::string("a\0b", 3)},
        decode_case{"cyrillic", "Да Ёё№", true, "\xC4\xE0 \xA8\xB8\xB9"},
        // Well-formed characters Windows-1251 lacks become one "?" each.
        decode_case{"lacking_3_byte", "a\xE4\xB8\xAD" "b", true, "a?b"},
        decode_case{"lacking_4_byte", "\xF0\x9F\x98\x80", true, "?"},
        decode_case{"smallest_3_byte", "\xE0\xA0\x80", true, "?"},
        decode_case{"largest_code_point", "\xF4\x8F\xBF\xBF", true, "?"},
        decode_case{"tag_character", "a\xF3\xA0\x80\x81" "b", true, "a?b"},
        // Broken UTF-8 costs one "?" per byte and does not stop the rest.
        decode_case{"overlong_2_byte", "\xC0\xAF" "x", false, "??x"},
        decode_case{"overlong_2_byte_c1", "\xC1\x81", false, "??"},
        decode_case{"overlong_3_byte", "\xE0\x80\xAF", false, "???"},
        decode_case{"overlong_3_byte_top", "\xE0\x9F\xBF", false, "???"},
        decode_case{"overlong_4_byte", "\xF0\x8F\xBF\xBF", false, "????"},
        decode_case{"surrogate", "\xED\xA0\x80" "\xD0\x94", false, "???\xC4"},
        decode_case{"low_surrogate", "\xED\xBF\xBF", false, "???"},
        decode_case{"past_10ffff", "\xF4\x90\x80\x80", false, "????"},
        decode_case{"lead_past_f4", "\xF5\x80\x80\x80", false, "????"},
        decode_case{"truncated_2_byte_at_end", "\xD0\x94\xD0", false, "\xC4?"},
        decode_case{"truncated_3_byte_at_end", "x\xE2\x82", false, "x??"},
        decode_case{"lone_continuation", "a\x80" "b", false, "a?b"},
        decode_case{"windows_1251_bytes", "\xCE\xF1", false, "??"},
        decode_case{"invalid_byte", "x\xFF" "y", false, "x?y"}),
    testing::by_name);

// Single sequences of every lead byte from 0x80 up: from_utf8 makes one
// character of exactly those is_valid_utf8 accepts, and at least two of the
// others (a "?" for the first byte, something for the rest).
std::vector<std::string> single_sequence_candidates() {
  const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
  std::vector<std::string> out;
  auto s = [](std::initializer_list<int> bytes) {
    std::string text;
    for (int b : bytes) text.push_back(static_cast<char>(b));
    return text;
  };
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    for (int second = 0; second <= 0xFF; ++second) {
      out.push_back(s({lead, second}));
      if (lead < 0xE0) continue;
      for (unsigned char third : edges) {
        if (lead < 0xF0) {
          out.push_back(s({lead, second, third}));
          continue;
        }
        for (unsigned char fourth : {0x41, 0x80, 0xBF}) out.push_back(s({lead, second, third, fourth}));
      }
    }
  }
  return out;
}

TEST(FromUtf8, DecodesExactlyTheSequencesIsValidUtf8Accepts) {
  for (const auto& bytes : single_sequence_candidates()) {
    auto decoded = from_utf8(bytes);
    ASSERT_EQ(decoded.size() == 1, is_valid_utf8(bytes)) << ::testing::PrintToString(bytes);
  }
}

std::string utf8_of(char32_t code) {
  auto byte = [](char32_t bits) { return static_cast<char>(bits); };
  if (code < 0x80) return {byte(code)};
  if (code < 0x800) return {byte(0xC0 | code >> 6), byte(0x80 | (code & 0x3F))};
  if (code < 0x10000) return {byte(0xE0 | code >> 12), byte(0x80 | (code >> 6 & 0x3F)), byte(0x80 | (code & 0x3F))};
  return {byte(0xF0 | code >> 18), byte(0x80 | (code >> 12 & 0x3F)), byte(0x80 | (code >> 6 & 0x3F)),
          byte(0x80 | (code & 0x3F))};
}

TEST(FromUtf8, EveryCharacterBecomesExactlyOneByte) {
  for (char32_t code = 0; code <= 0x10FFFF; ++code) {
    if (code == 0xD800) code = 0xE000;
    ASSERT_EQ(from_utf8(utf8_of(code)).size(), 1u) << "U+" << std::hex << static_cast<unsigned>(code);
  }
}

TEST(Cp1251ToUtf8, RoundTripsEveryAssignedByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    if (b != 0x98) all.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(from_utf8(to_utf8(all)), all);
}

TEST(Cp1251ToUtf8, AsciiPassesAndUnassignedByteBecomesQuestionMark) {
  EXPECT_EQ(to_utf8(std::string("a\0z", 3)), std::string("a\0z", 3));
  EXPECT_EQ(to_utf8("a\x98z"), "a?z");
  EXPECT_EQ(to_utf8("\xC4\xE0"), "Да");
}

}  // namespace
}  // namespace velmira
