#pragma once
// Names for the cases of parameterized suites. gtest takes letters, digits
// and '_' only, and ctest lists every case by its name, so a name is made
// from what the case is about, never from its index, its bytes or an
// address: `ctest -N` then reads as a list of behaviours, the same at every
// build.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace velmira::testing {

// A description as a case name: its words joined, each begun with a capital
// ("same login, new password" is "SameLoginNewPassword"). Letters outside
// ASCII are dropped, so a description must say enough in ASCII.
std::string case_name(std::string_view description);

// Text under test as a case name: letters, digits and '_' stay, every other
// byte is spelled as a word between '_' ("../a" is "Dot_Dot_Slash_a", "a\x1f"
// is "a_x1F"), and the empty text is "Empty". Meant for short inputs.
std::string spelled(std::string_view text);

// The generator of a suite whose case type has a `name`.
inline constexpr auto by_name = [](const auto& info) { return case_name(info.param.name); };

// The generator of a suite of strings: each case named by its text spelled.
inline constexpr auto by_text = [](const ::testing::TestParamInfo<std::string>& info) {
  return spelled(info.param);
};

// The generator of a suite whose cases differ in one text member.
template <class Case, class Text>
auto by_text_of(Text Case::*member) {
  return [member](const ::testing::TestParamInfo<Case>& info) { return spelled(info.param.*member); };
}

}  // namespace velmira::testing
