#include "content/rtf_reader.hpp"

#include <gtest/gtest.h>

#include <random>
#include <ostream>
#include <string>
#include <vector>

#include "content/rtf_writer.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

char alignment_letter(paragraph_alignment alignment) {
  switch (alignment) {
    case paragraph_alignment::left: return 'l';
    case paragraph_alignment::centre: return 'c';
    case paragraph_alignment::right: return 'r';
    case paragraph_alignment::justify: return 'j';
  }
  return '?';
}

std::string format_of(const styled_char& c) {
  std::string format = "[";
  if (c.style.bold) format += 'b';
  if (c.style.italic) format += 'i';
  if (c.style.underline) format += 'u';
  return format + "|" + alignment_letter(c.alignment) + "]";
}

// The document in UTF-8, each run of one format behind its format:
// "[b|c]" is bold in a centred paragraph, "[|l]" plain and left-aligned.
std::string described(const calendar_document& document) {
  std::string text;
  std::string format;
  for (const auto& c : document) {
    if (format_of(c) != format) text += format = format_of(c);
    text += to_utf8(std::string(1, c.ch));
  }
  return text;
}

std::string described_rtf(std::string_view rtf) { return described(read_rtf(rtf)); }

TEST(RtfReader, ReadsWhatARichEditControlWritesWithHexEscapes) {
  const char* rtf =
      R"rtf({\rtf1\ansi\ansicpg1251\deff0{\fonttbl{\f0\fnil\fcharset204 Tahoma;}}{\colortbl ;\red0\green0\blue0;}{\*\generator Riched20 10.0.19041}\viewkind4\uc1 \pard\qc\b\f0\fs20\'cf\'f0\'e8\'e2\'e5\'f2\b0\par \pard\i x\i0\par})rtf";
  EXPECT_EQ(described_rtf(rtf), "[b|c]Привет[|c]\r[i|l]x");
}

TEST(RtfReader, ReadsWhatARichEditControlWritesWithUnicodeEscapes) {
  const char* rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033{\\fonttbl{\\f0\\fnil\\fcharset0 "
      "Calibri;}}\r\n"
      "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
      "\\pard\\sa200\\sl276\\slmult1\\qc\\b\\f0\\fs22\\lang1049\\u1050?\\u1072?\\u1083?\\u1077?"
      "\\u1085?\\u1076?\\u1072?\\u1088?\\u1100?\\b0\\par\r\n"
      "\\pard\\sa200\\sl276\\slmult1\\ul 1 \\u1095?\\u1077?\\u1090?\\u1074?\\u1077?\\u1088?"
      "\\u1090?\\u1100?\\ulnone : 01.09 \\endash  27.10\\par\r\n"
      "}\r\n";
  EXPECT_EQ(described_rtf(rtf), "[b|c]Календарь[|c]\r[u|l]1 четверть[|l]: 01.09 – 27.10");
}

TEST(RtfReader, ReadsWhatAWordProcessorWritesWithStylesAndFields) {
  const char* rtf =
      R"rtf({\rtf1\ansi\ansicpg1251\uc1\deff0{\fonttbl{\f0\froman\fcharset204\fprq2{\*\panose 02020603050405020304}Times New Roman;}}{\stylesheet{\ql \fs24 \snext0 Normal;}{\*\cs10 \additive Default Paragraph Font;}}{\info{\title Plan}{\author Office}{\creatim\yr2024\mo9\dy1}}{\*\rsidtbl \rsid123}{\*\listtable{\list\listid1{\listlevel\levelnfc23{\leveltext\'01\u-3913 ?;}}}}
\paperw11906\paperh16838\sectd {\pntext\f0\'b7\tab}\pard\plain \ltrpar\qc \fs24\lang1049 {\b\insrsid1 \'cf\'eb\'e0\'ed}{\insrsid1 \par }\pard \ql {\field{\*\fldinst {HYPERLINK "http://school"}}{\fldrslt {\ul\cf1 site}}}{\pict\wmetafile8\picw10 0102ff}{\*\shppict{\pict\pngblip 89504e47}}{\*\bkmkstart x}.\par })rtf";
  EXPECT_EQ(described_rtf(rtf), "[b|c]План[|c]\r[u|l]site[|l].");
}

struct reader_case {
  const char* name;
  const char* rtf;
  const char* description;

  friend void PrintTo(const reader_case& c, std::ostream* out) { *out << c.name; }
};

class RtfReaderCase : public ::testing::TestWithParam<reader_case> {};

TEST_P(RtfReaderCase, ReadsTheDocument) {
  EXPECT_EQ(described_rtf(GetParam().rtf), GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, RtfReaderCase,
    ::testing::Values(
        reader_case{"UnicodeSkipCountTwoAndGroupScope",
                    R"({\rtf1\uc2 \u1071\'df\'df x{\uc0\u1071}\u1071 ab})", "[|l]Я xЯЯ"},
        reader_case{"UnicodeOutsideTheCodePage", R"({\rtf1\u8364?\u8470?\u-3913?\u20013?})",
                    "[|l]€№??"},
        reader_case{"SurrogatePairIsOneCharacter", R"({\rtf1 a\u-10179?\u-8704?b})", "[|l]a?b"},
        reader_case{"FallbackEndsAtAGroup", R"({\rtf1\uc3\u1071{\b x}})", "[|l]Я[b|l]x"},
        reader_case{"FallbackCountsControlWords", R"({\rtf1\uc2\u1071\b\i x})", "[|l]Яx"},
        reader_case{"ControlSymbols", R"({\rtf1 a\\b\{c\}d\~e\-f\_g\emdash\lquote q\rquote\tab t\'CF})",
                    "[|l]a\\b{c}d\u00a0ef-g—‘q’\ttП"},
        reader_case{"BadHexEscape", R"({\rtf1 a\'zz\'4})", "[|l]azz"},
        reader_case{"GroupsRestoreTheStyle", R"({\rtf1 {\b bold {\i both} bold}plain})",
                    "[b|l]bold [bi|l]both[b|l] bold[|l]plain"},
        reader_case{"PlainResetsTheStyle", R"({\rtf1\b\i\ul x\plain y})", "[biu|l]x[|l]y"},
        reader_case{"StyleParameters", R"({\rtf1\b1 a\b0 b\i1 c\i0 d\ul1 e\ul0 f})",
                    "[b|l]a[|l]b[i|l]c[|l]d[u|l]e[|l]f"},
        reader_case{"UnderlineKinds", R"({\rtf1\uldb a\ulnone b\ulw c\ulwave d\ulnone e\ulc2 f})",
                    "[u|l]a[|l]b[u|l]cd[|l]ef"},
        reader_case{"AlignmentInEffectAtTheParagraphMark",
                    R"({\rtf1 left\par\qc centred\par\pard\qr right\par\qj justified\par\qc late\qr\par\pard\qc last})",
                    "[|l]left\r[|c]centred\r[|r]right\r[|j]justified\r[|r]late\r[|c]last"},
        reader_case{"LastParagraphKeepsTheOutermostAlignment", R"({\rtf1\qc {\b x}})", "[b|c]x"},
        reader_case{"LineBreakStaysInItsParagraph", R"({\rtf1\qc a\line b\par\pard c})",
                    "[|c]a\rb\r[|l]c"},
        reader_case{"BackslashNewlineIsAParagraph", "{\\rtf1 a\\\r\nb}", "[|l]a\rb"},
        reader_case{"RawLineEndsAreIgnored", "{\\rtf1 a\r\nb\rc\nd}", "[|l]abcd"},
        reader_case{"RawCodePageBytes", "{\\rtf1 \xcf\xf0\xe8}", "[|l]При"},
        reader_case{"FinalParagraphMarkDropped", R"({\rtf1 a\par})", "[|l]a"},
        reader_case{"EmptyParagraphsBeforeTheFinalMarkKept", R"({\rtf1 a\par\par\par})", "[|l]a\r\r"},
        reader_case{"OnlyTheFinalMark", R"({\rtf1 \par})", ""},
        reader_case{"StyleOfTheBreak", R"({\rtf1 a\b\par b})", "[|l]a[b|l]\rb"},
        reader_case{"SpaceDelimiterConsumedOnce", R"({\rtf1\b  x})", "[b|l] x"},
        reader_case{"HyphenWithoutDigitsIsText", R"({\rtf1\b-x})", "[b|l]-x"},
        reader_case{"ParameterEndsTheWord", R"({\rtf1\fs20x})", "[|l]x"},
        reader_case{"HugeParameterDoesNotOverflow", R"({\rtf1\uc99999999999999999999 \u1071 abc})",
                    "[|l]Я"},
        reader_case{"BinaryDataSkipped", R"({\rtf1 a\bin3 }{\b})", "[|l]ab"},
        reader_case{"BinaryLongerThanTheInput", R"({\rtf1 a\bin99999 bc})", "[|l]a"},
        reader_case{"UnknownStarredDestinationSkipped",
                    R"({\rtf1 a{\*\unknown {nested {deeper}} \} text}b})", "[|l]ab"},
        reader_case{"StarredDestinationAtTopLevelEndsTheDocument", R"({\rtf1 a\*\x b})", "[|l]a"},
        reader_case{"UnknownControlWordsIgnored", R"({\rtf1\nosuchword12 a\sa200 b})", "[|l]ab"},
        reader_case{"ControlCharactersDropped", "{\\rtf1 a\\'01\\'0d\\u10 \x01" "b\tc}",
                    "[|l]ab\tc"},
        reader_case{"TextAfterTheDocumentIgnored", R"({\rtf1 a}b{\b c})", "[|l]a"},
        reader_case{"UnterminatedDocument", R"({\rtf1\qc\b abc)", "[b|c]abc"},
        reader_case{"TruncatedAfterBackslash", "{\\rtf1 a\\", "[|l]a"},
        reader_case{"TruncatedHexEscape", "{\\rtf1 a\\'", "[|l]a"},
        reader_case{"TruncatedUnicode", "{\\rtf1 a\\u", "[|l]a"},
        reader_case{"TruncatedInsideADestination", "{\\rtf1 a{\\fonttbl{\\f0 Arial;", "[|l]a"},
        reader_case{"PlainTextLines", "\xd1\xf2\xf0\xee\xea\xe0 1\r\n2\r\n", "[|l]Строка 1\r2"},
        reader_case{"PlainTextSingleLineEnd", "\r\n", ""},
        reader_case{"EmptyInput", "", ""}),
    testing::by_name);

std::string nested(std::size_t depth, std::string_view inner) {
  return "{\\rtf1 a" + std::string(depth, '{') + std::string(inner) + std::string(depth, '}') +
         "c}";
}

TEST(RtfReaderDepth, GroupsUpToTheLimitAreRead) {
  EXPECT_EQ(described_rtf(nested(max_rtf_group_depth - 1, "\\b x")), "[|l]a[b|l]x[|l]c");
}

TEST(RtfReaderDepth, GroupsBeyondTheLimitAreSkippedWithTheirContent) {
  EXPECT_EQ(described_rtf(nested(max_rtf_group_depth, "\\b x")), "[|l]ac");
}

TEST(RtfReaderDepth, AMillionNestedGroupsEndAndLeakNoState) {
  EXPECT_EQ(described_rtf(nested(1'000'000, "\\b x")), "[|l]ac");
  EXPECT_EQ(described_rtf("{\\rtf1 a" + std::string(1'000'000, '{')), "[|l]a");
}

// Whatever the input, the reader ends, produces at most one character per
// input byte, no control characters but tab and CR, and one alignment per
// paragraph; and what it produces survives the writer unchanged.
void expect_sound(std::string_view rtf) {
  auto document = read_rtf(rtf);
  ASSERT_LE(document.size(), rtf.size());
  for (std::size_t i = 0; i < document.size(); ++i) {
    auto byte = static_cast<unsigned char>(document[i].ch);
    ASSERT_TRUE(byte >= 0x20 || byte == '\t' || byte == '\r') << "byte " << int(byte);
    if (i > 0 && !document[i - 1].is_line_break()) {
      ASSERT_EQ(document[i].alignment, document[i - 1].alignment) << "at " << i;
    }
  }
  ASSERT_TRUE(read_rtf(write_rtf(document)) == document);
}

TEST(RtfReaderFuzz, MutatedDocumentsAreReadSoundly) {
  calendar_document sample;
  for (char c : from_utf8("Первая четверть: 01.09 – 27.10\r{\\}|^\rитого 8 недель")) {
    sample.push_back({.ch = c,
                      .style = {.bold = c == ' ', .italic = false, .underline = c == '|'},
                      .alignment = paragraph_alignment::centre});
  }
  const std::vector<std::string> seeds = {
      write_rtf(sample),
      R"({\rtf1\uc2{\*\x{\fonttbl}}\qc\b\u1071\'df\'df\par\bin4 {}}{\pict 00}\line x})",
  };
  const std::string alphabet = "{}\\'*uc0123456789-? \r\nabpqlr";
  std::mt19937 generator(20240901);
  for (int round = 0; round < 20'000; ++round) {
    std::string rtf = seeds[round % seeds.size()];
    int edits = 1 + static_cast<int>(generator() % 8);
    for (int e = 0; e < edits && !rtf.empty(); ++e) {
      std::size_t at = generator() % rtf.size();
      switch (generator() % 4) {
        case 0: rtf[at] = alphabet[generator() % alphabet.size()]; break;
        case 1: rtf.insert(at, 1, alphabet[generator() % alphabet.size()]); break;
        case 2: rtf.erase(at, 1 + generator() % 4); break;
        case 3: rtf[at] = static_cast<char>(generator()); break;
      }
    }
    SCOPED_TRACE(rtf);
    expect_sound(rtf);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace velmira
