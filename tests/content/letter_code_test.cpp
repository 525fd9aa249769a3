#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>

#include "content/letter_code.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

// The letters for a string of hexadecimal digits, read off the table.
std::string letters_for(std::string_view digits) {
  std::string letters;
  for (char d : digits) {
    int value = d <= '9' ? d - '0' : d - 'A' + 10;
    letters.push_back(letter_code_digits.at(static_cast<size_t>(value)));
  }
  return letters;
}

TEST(LetterCode, TableIsSixteenDistinctLowerCaseLetters) {
  ASSERT_EQ(letter_code_digits.size(), 16u);
  std::set<char> distinct(letter_code_digits.begin(), letter_code_digits.end());
  EXPECT_EQ(distinct.size(), 16u);
  for (char c : letter_code_digits) EXPECT_TRUE(c >= 'a' && c <= 'z') << c;
}

struct encoding_case {
  const char* name;
  std::u16string source;
  std::string digits;
};
void PrintTo(const encoding_case& c, std::ostream* os) { *os << c.digits; }

class LetterCodeEncoding : public ::testing::TestWithParam<encoding_case> {};

TEST_P(LetterCodeEncoding, WritesEveryCodeUnitAsItsDigitsInLetters) {
  EXPECT_EQ(StrToHex(std::u16string_view(GetParam().source)), letters_for(GetParam().digits));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LetterCodeEncoding,
    ::testing::Values(encoding_case{"Empty", u"", ""},
                      encoding_case{"Ascii", u"abc", "616263"},
                      // Below 0x10 the leading zero is kept.
                      encoding_case{"LeadingZeroKept", u"\x0A", "0A"},
                      encoding_case{"ByteFF", u"\xFF", "FF"},
                      encoding_case{"ThreeDigitUnit", u"\x0100", "100"},
                      // The Cyrillic letter А.
                      encoding_case{"CyrillicA", u"\x0410", "410"},
                      encoding_case{"UnitsOfFourThreeAndTwoDigits", u"\x1234\x0410z", "12344107A"}),
    testing::by_name);

TEST(LetterCode, AbcRepeatsTheLetterForSixAndDecodesBack) {
  std::string coded = StrToHex(std::u16string_view(u"abc"));
  ASSERT_EQ(coded.size(), 6u);
  EXPECT_EQ(coded[0], coded[2]);
  EXPECT_EQ(coded[2], coded[4]);
  EXPECT_EQ(HexToStr_utf16(coded), u"abc");
  EXPECT_EQ(HexToStr(coded), "abc");
}

TEST(LetterCode, EveryLoginCharacterBecomesTwoLettersAndComesBack) {
  const std::string login_characters =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_-";
  std::string coded = StrToHex(login_characters);
  EXPECT_EQ(coded.size(), 2 * login_characters.size());
  EXPECT_EQ(HexToStr(coded), login_characters);
  EXPECT_EQ(StrToHex(std::string_view("Login_01")).size(), 16u);
}

TEST(LetterCode, WindowsTextIsCodedByTheCharactersItStandsFor) {
  // А is 0xC0 in Windows-1251 and U+0410 in UTF-16.
  EXPECT_EQ(StrToHex(from_utf8("А")), letters_for("410"));
  EXPECT_EQ(StrToHex(from_utf8("№")), letters_for("2116"));
}

TEST(LetterCode, CharacterAboveFFDecodesToItsFirstTwoDigitsOnly) {
  std::string coded = letters_for("410");
  EXPECT_EQ(HexToStr_utf16(coded), u"A");
  EXPECT_EQ(HexToStr(coded), "A");
}

TEST(LetterCode, DecodingSkipsEverythingThatIsNotATableLetter) {
  std::string coded = StrToHex(std::string_view("ab"));
  std::string noisy = " " + coded.substr(0, 1) + "\v9Z" + coded.substr(1, 2) + "-$" + coded.substr(3);
  for (char c = 'a'; c <= 'z'; ++c) {
    if (letter_code_digits.find(c) == std::string_view::npos) noisy += c;
  }
  // Upper-case forms of table letters are not table letters.
  noisy.push_back(static_cast<char>(coded[0] - 'a' + 'A'));
  EXPECT_EQ(HexToStr(noisy), "ab");
}

TEST(LetterCode, OddLastDigitIsDropped) {
  EXPECT_EQ(HexToStr(letters_for("61626")), "ab");
  EXPECT_EQ(HexToStr(letters_for("6")), "");
  EXPECT_EQ(HexToStr(""), "");
  EXPECT_EQ(HexToStr_utf16(""), u"");
}

TEST(LetterCode, DecodedCharacterWindowsLacksBecomesQuestionMark) {
  // U+00A0 exists in Windows-1251 (0xA0), U+00E9 does not.
  EXPECT_EQ(HexToStr(letters_for("A0")), "\xA0");
  EXPECT_EQ(HexToStr(letters_for("E9")), "?");
  EXPECT_EQ(HexToStr_utf16(letters_for("E9")), u"\xE9");
}

}  // namespace
}  // namespace velmira
