#include "content/calendar_document.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/text_codec.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

// A run of characters sharing one format: `format` holds "b", "i", "u" for
// the styles and "c" or "r" for a centred or right-aligned paragraph.
struct run {
  const char* utf8;
  const char* format = "";
};

bool has(const char* format, char flag) { return std::string(format).find(flag) != std::string::npos; }

calendar_document document_from_runs(const std::vector<run>& runs) {
  calendar_document document;
  for (const auto& r : runs) {
    auto alignment = has(r.format, 'c')   ? paragraph_alignment::centre
                     : has(r.format, 'r') ? paragraph_alignment::right
                                          : paragraph_alignment::left;
    for (char c : from_utf8(r.utf8)) {
      document.push_back({.ch = c,
                          .style = {.bold = has(r.format, 'b'),
                                    .italic = has(r.format, 'i'),
                                    .underline = has(r.format, 'u')},
                          .alignment = alignment});
    }
  }
  return document;
}

struct markup_case {
  const char* name;
  std::vector<run> runs;
  const char* markup_utf8;

  friend void PrintTo(const markup_case& c, std::ostream* out) { *out << c.name; }
};

class PreobrRichEditCase : public ::testing::TestWithParam<markup_case> {};

TEST_P(PreobrRichEditCase, GivesTheMarkup) {
  EXPECT_EQ(to_utf8(PreobrRichEdit(document_from_runs(GetParam().runs))), GetParam().markup_utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Conversion, PreobrRichEditCase,
    ::testing::Values(
        markup_case{"EmptyDocument", {}, ""},
        markup_case{"PlainText", {{"Первая четверть"}}, "Первая четверть"},
        markup_case{"OneBoldWord", {{"Четверть", "b"}}, "<b>Четверть</b>"},
        markup_case{"CentredBoldParagraphThenPlainOne",
                    {{"1 четверть", "bc"}, {"\r", "c"}, {"2 четверть"}},
                    "<c><b>1 четверть</b></c><br>2 четверть"},
        markup_case{"BoldLineBreakChangesNothing",
                    {{"1 четверть", "bc"}, {"\r", "bc"}, {"2 четверть"}},
                    "<c><b>1 четверть</b></c><br>2 четверть"},
        markup_case{"BoldRunContinuesAcrossTheBreak",
                    {{"ab", "bc"}, {"\r", "bc"}, {"cd", "b"}, {"ef"}},
                    "<c><b>ab</c><br>cd</b>ef"},
        markup_case{"SingleBoldCharacterAtTheStart", {{"x", "b"}, {"yz"}}, "<b>x</b>yz"},
        markup_case{"SingleCharacterDocument", {{"x", "b"}}, "<b>x</b>"},
        markup_case{"LeadingLineBreakGivesNoBreak", {{"\r"}, {"текст"}}, "текст"},
        markup_case{"LeadingLineFeedGivesNoBreak", {{"\n"}, {"текст"}}, "текст"},
        markup_case{"TwoConsecutiveBreaks", {{"a\r\rb"}}, "a<br><br>b"},
        markup_case{"LineFeedIsABreakToo", {{"a\nb"}}, "a<br>b"},
        markup_case{"TrailingBreak", {{"a\r"}}, "a<br>"},
        markup_case{"MarkupCharactersCopiedUnescaped", {{"a<b>&c</i>"}}, "a<b>&c</i>"},
        markup_case{"OverlappingRunsDoNotNest",
                    {{"012", "b"}, {"345", "bi"}, {"678", "i"}},
                    "<b>012<i>345</b>678</i>"},
        markup_case{"TagOrderAroundOneCharacter", {{"x", "biuc"}},
                    "<c><u><i><b>x</b></i></u></c>"},
        markup_case{"UnderlineAndItalicSeparately", {{"a", "u"}, {"b", "i"}},
                    "<u>a</u><i>b</i>"},
        markup_case{"RightAlignedIsNotCentred", {{"справа", "r"}}, "справа"},
        markup_case{"CentredSecondParagraph", {{"a\r"}, {"b", "c"}}, "a<br><c>b</c>"},
        markup_case{"TwoCentredParagraphsShareOneTag", {{"a\rb", "c"}}, "<c>a<br>b</c>"},
        markup_case{"BreakInsideStyledRun", {{"a\rb", "u"}}, "<u>a<br>b</u>"}),
    testing::by_name);

TEST(ParagraphBounds, FindTheParagraphAroundAPosition) {
  auto document = document_from_runs({{"ab\rcd\r"}});
  EXPECT_EQ(paragraph_begin(document, 0), 0u);
  EXPECT_EQ(paragraph_begin(document, 2), 0u);
  EXPECT_EQ(paragraph_begin(document, 3), 3u);
  EXPECT_EQ(paragraph_begin(document, 6), 6u);
  EXPECT_EQ(paragraph_end(document, 0), 3u);
  EXPECT_EQ(paragraph_end(document, 2), 3u);
  EXPECT_EQ(paragraph_end(document, 4), 6u);
  EXPECT_EQ(paragraph_end(document, 6), 6u);
}

TEST(CalendarParagraphs, SplitAtBreaksIntoRunsOfOneStyle) {
  auto paragraphs = paragraphs_of(document_from_runs({{"ab", "bc"}, {"c\r", "c"}, {"d", "r"}, {"\r"}}));
  const char_style bold{.bold = true};
  ASSERT_EQ(paragraphs.size(), 3u);
  EXPECT_EQ(paragraphs[0], (calendar_paragraph{paragraph_alignment::centre, {{"ab", bold}, {"c", {}}}}));
  EXPECT_EQ(paragraphs[1], (calendar_paragraph{paragraph_alignment::right, {{"d", {}}}}));
  EXPECT_EQ(paragraphs[2], (calendar_paragraph{paragraph_alignment::left, {}}));
  EXPECT_EQ(paragraphs_of({}).size(), 1u);
}

TEST(CalendarParagraphs, JoinedBackTheyGiveTheSameDocument) {
  for (const auto& runs : std::vector<std::vector<run>>{
           {{"ab", "bc"}, {"c\r", "c"}, {"d\r", "r"}, {"e", "iu"}},
           {{"\r\r"}, {"x", "b"}},
           {},
       }) {
    auto document = document_from_runs(runs);
    EXPECT_EQ(document_of(paragraphs_of(document)), document);
  }
}

TEST(CalendarParagraphs, ABreakTakesThePreviousStyleSoABoldRunCrossesIt) {
  const char_style bold{.bold = true};
  auto document = document_of({{paragraph_alignment::centre, {{"a", bold}}}, {paragraph_alignment::left, {{"b", bold}}}});
  EXPECT_EQ(PreobrRichEdit(document), "<c><b>a</c><br>b</b>");
}

TEST(CalendarParagraphs, LineBreaksInsideARunEndItsParagraphAndControlsAreDropped) {
  auto document = document_of({{paragraph_alignment::left, {{"a\r\nb\nc\x01\td", {}}}}});
  EXPECT_EQ(PreobrRichEdit(document), "a<br>b<br>c\td");
}

}  // namespace
}  // namespace velmira
