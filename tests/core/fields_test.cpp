#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/fields.hpp"
#include "core/text_codec.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

struct cut_case {
  std::string input;
  std::string separator;
  std::string field;
  std::string rest;
};

class CutField : public ::testing::TestWithParam<cut_case> {};

TEST_P(CutField, TakesTextBeforeSeparatorAndLeavesTheRest) {
  const auto& c = GetParam();
  std::string_view rest = c.input;
  EXPECT_EQ(cut_field(rest, c.separator), c.field);
  EXPECT_EQ(rest, c.rest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CutField,
    ::testing::Values(cut_case{"a;b;", ";", "a", "b;"},
                      cut_case{";x", ";", "", "x"},
                      // A missing separator yields an empty field and consumes nothing.
                      cut_case{"abc", ";", "", "abc"},
                      cut_case{"", ";", "", ""},
                      cut_case{"login\x0bpass\x0b", "\x0b", "login", "pass\x0b"},
                      cut_case{"a||b", "||", "a", "b"},
                      cut_case{"a|b||c", "||", "a|b", "c"}),
    testing::by_text_of(&cut_case::input));

TEST(CutField, RepeatedCutsWalkEveryTerminatedField) {
  std::string_view rest = "1;22;;333;tail";
  std::vector<std::string> fields;
  for (int i = 0; i < 4; ++i) fields.emplace_back(cut_field(rest, ';'));
  EXPECT_EQ(fields, (std::vector<std::string>{"1", "22", "", "333"}));
  EXPECT_EQ(rest, "tail");
  // The unterminated tail is not a field.
  EXPECT_EQ(cut_field(rest, ';'), "");
  EXPECT_EQ(rest, "tail");
}

struct rule_case {
  const char* name;
  std::string text;
  int tip;
  bool allowed;
};

class PoiskBukvRule : public ::testing::TestWithParam<rule_case> {};

TEST_P(PoiskBukvRule, AcceptsOnlyTheCharactersOfItsType) {
  const auto& c = GetParam();
  EXPECT_EQ(PoiskBukv(c.text, c.tip), c.allowed) << "text '" << c.text << "' tip " << c.tip;
}

INSTANTIATE_TEST_SUITE_P(
    LoginType, PoiskBukvRule,
    ::testing::Values(rule_case{"Digits", "0123456789", 1, true},
                      rule_case{"UpperCaseLatin", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1, true},
                      rule_case{"LowerCaseLatin", "abcdefghijklmnopqrstuvwxyz", 1, true},
                      rule_case{"UnderscoreAndMinus", "_-", 1, true}, rule_case{"MixedLogin", "Ivan_Petrov-2", 1, true},
                      rule_case{"Empty", "", 1, false}, rule_case{"Space", "ivan petrov", 1, false},
                      rule_case{"Cyrillic", from_utf8("логин"), 1, false},
                      rule_case{"LatinWithYo", "ivan" + from_utf8("ё"), 1, false},
                      // The neighbours of the allowed ranges in ASCII.
                      rule_case{"SlashBelowDigits", "a/", 1, false}, rule_case{"ColonAboveDigits", "a:", 1, false},
                      rule_case{"AtBelowUpperCase", "a@", 1, false}, rule_case{"BracketAboveUpperCase", "a[", 1, false},
                      rule_case{"CaretBelowUnderscore", "a^", 1, false},
                      rule_case{"BacktickAboveUnderscore", "a`", 1, false},
                      rule_case{"BraceAboveLowerCase", "a{", 1, false}, rule_case{"Dot", "a.b", 1, false},
                      rule_case{"Nul", std::string("a\0b", 3), 1, false}, rule_case{"Delete", "a\x7f", 1, false}),
    testing::by_name);

INSTANTIATE_TEST_SUITE_P(PortType, PoiskBukvRule,
                         ::testing::Values(rule_case{"Port8080", "8080", 2, true}, rule_case{"Zero", "0", 2, true},
                                           rule_case{"Empty", "", 2, false}, rule_case{"Letter", "80a", 2, false},
                                           rule_case{"Minus", "-80", 2, false}, rule_case{"Plus", "+80", 2, false},
                                           rule_case{"TrailingSpace", "80 ", 2, false},
                                           rule_case{"Underscore", "8_0", 2, false}),
                         testing::by_name);

INSTANTIATE_TEST_SUITE_P(
    OtherTypes, PoiskBukvRule,
    ::testing::Values(rule_case{"TypeZero", "abc", 0, false}, rule_case{"TypeThree", "123", 3, false},
                      rule_case{"NegativeType", "abc", -1, false}, rule_case{"EmptyOfTypeZero", "", 0, false}),
    testing::by_name);

struct number_case {
  std::string text;
  int value;
};

class Chislo : public ::testing::TestWithParam<number_case> {};

TEST_P(Chislo, GivesTheIntegerOrZero) {
  EXPECT_EQ(chislo(GetParam().text), GetParam().value) << "text '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Chislo,
    ::testing::Values(number_case{"8080", 8080}, number_case{"0", 0}, number_case{"-1", -1},
                      number_case{"007", 7}, number_case{"2147483647", 2147483647},
                      number_case{"", 0}, number_case{"80a", 0}, number_case{"a80", 0},
                      number_case{"1.5", 0}, number_case{"-", 0}, number_case{"+", 0},
                      number_case{"99999999999", 0}),
    testing::by_text_of(&number_case::text));

TEST(CodOrg, WritesEveryByteAsTwoUpperCaseHexDigits) {
  EXPECT_EQ(CodOrg(""), "");
  EXPECT_EQ(CodOrg("AB"), "4142");
  EXPECT_EQ(CodOrg(std::string("\x00\x0f\xff\xa0", 4)), "000FFFA0");
  EXPECT_EQ(CodOrg(from_utf8("Школа 1")), "D8EAEEEBE02031");
}

}  // namespace
}  // namespace velmira
