#include "content/rtf_writer.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "content/rtf_reader.hpp"
#include "support/case_name.hpp"

namespace velmira {

// Readable failure messages for documents.
static void PrintTo(const styled_char& c, std::ostream* out) {
  *out << "'" << (c.ch == '\r' ? std::string("\\r") : std::string(1, c.ch)) << "'"
       << (c.style.bold ? "b" : "") << (c.style.italic ? "i" : "")
       << (c.style.underline ? "u" : "") << "/" << static_cast<int>(c.alignment);
}

namespace {

styled_char character(char ch, char_style style = {},
                      paragraph_alignment alignment = paragraph_alignment::left) {
  return {.ch = ch, .style = style, .alignment = alignment};
}

constexpr char_style bold{.bold = true, .italic = false, .underline = false};
constexpr char_style all_styles{.bold = true, .italic = true, .underline = true};

// Paragraphs of random length, alignment and characters, each character with
// random styles; the line breaks carry styles of their own.
calendar_document random_document(std::mt19937& generator) {
  static constexpr paragraph_alignment alignments[] = {
      paragraph_alignment::left, paragraph_alignment::centre, paragraph_alignment::right,
      paragraph_alignment::justify};
  auto random_style = [&] {
    return char_style{.bold = generator() % 2 == 0, .italic = generator() % 3 == 0,
                      .underline = generator() % 4 == 0};
  };
  calendar_document document;
  int paragraphs = 1 + static_cast<int>(generator() % 5);
  for (int p = 0; p < paragraphs; ++p) {
    auto alignment = alignments[generator() % 4];
    int length = static_cast<int>(generator() % 12);
    for (int i = 0; i < length; ++i) {
      char ch = generator() % 10 == 0 ? '\t' : static_cast<char>(0x20 + generator() % 0xE0);
      document.push_back(character(ch, random_style(), alignment));
    }
    if (p + 1 < paragraphs) document.push_back(character('\r', random_style(), alignment));
  }
  return document;
}

TEST(RtfWriter, RandomDocumentsReadBackUnchanged) {
  std::mt19937 generator(1251);
  for (int round = 0; round < 2'000; ++round) {
    auto document = random_document(generator);
    auto rtf = write_rtf(document);
    ASSERT_EQ(read_rtf(rtf), document) << rtf;
  }
}

struct round_trip_case {
  const char* name;
  calendar_document document;

  friend void PrintTo(const round_trip_case& c, std::ostream* out) { *out << c.name; }
};

class RtfRoundTrip : public ::testing::TestWithParam<round_trip_case> {};

TEST_P(RtfRoundTrip, ReadsBackUnchanged) {
  auto rtf = write_rtf(GetParam().document);
  EXPECT_EQ(read_rtf(rtf), GetParam().document) << rtf;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RtfRoundTrip,
    ::testing::Values(
        round_trip_case{"Empty", {}},
        round_trip_case{"OnlyABreak", {character('\r')}},
        round_trip_case{"LeadingBreak", {character('\r'), character('a')}},
        round_trip_case{"TrailingBreak", {character('a'), character('\r')}},
        round_trip_case{"TwoEmptyParagraphs", {character('\r', bold), character('\r')}},
        round_trip_case{"CentredThenEmptyThenRight",
                        {character('a', {}, paragraph_alignment::centre),
                         character('\r', bold, paragraph_alignment::centre), character('\r'),
                         character('b', all_styles, paragraph_alignment::right)}},
        round_trip_case{"CharactersWithMeaningInRtf",
                        {character('\\'), character('{'), character('}'), character(' '),
                         character(' '), character('-'), character('1'), character('\t'),
                         character('|'), character('^'), character(';')}},
        round_trip_case{"EveryByteAboveAscii",
                        {character('\x7f'), character('\x80'), character('\x98'),
                         character('\xa0'), character('\xcf'), character('\xff')}},
        round_trip_case{"DigitAndSpaceAfterStyleChange",
                        {character('1', bold), character('2'), character(' ', bold),
                         character('-', all_styles), character('x')}}),
    testing::by_name);

TEST(RtfWriter, OutputIsSevenBitWithoutChannelSeparators) {
  std::mt19937 generator(7);
  for (int round = 0; round < 200; ++round) {
    auto rtf = write_rtf(random_document(generator));
    ASSERT_TRUE(rtf.starts_with("{\\rtf1\\ansi\\ansicpg1251")) << rtf;
    for (char c : rtf) {
      auto byte = static_cast<unsigned char>(c);
      ASSERT_TRUE((byte >= 0x20 && byte < 0x7F) || c == '\r' || c == '\n') << rtf;
      ASSERT_NE(c, '|') << rtf;
      ASSERT_NE(c, '^') << rtf;
    }
  }
}

TEST(RtfWriter, LineFeedReadsBackAsCarriageReturn) {
  calendar_document document{character('a', bold), character('\n', bold), character('b')};
  calendar_document expected{character('a', bold), character('\r', bold), character('b')};
  EXPECT_EQ(read_rtf(write_rtf(document)), expected);
}

TEST(RtfWriter, ControlCharactersAreLeftOut) {
  calendar_document document{character('a'), character('\x01'), character('\0'), character('b')};
  calendar_document expected{character('a'), character('b')};
  EXPECT_EQ(read_rtf(write_rtf(document)), expected);
}

}  // namespace
}  // namespace velmira
