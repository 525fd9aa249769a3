#include "web/basic_credentials.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/text_codec.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

struct credentials_case {
  const char* name;
  std::string header;
  std::optional<std::pair<std::string, std::string>> expected_utf8;
};

class ParseBasicAuthorization : public ::testing::TestWithParam<credentials_case> {};

TEST_P(ParseBasicAuthorization, YieldsUserAndPassword) {
  const auto& c = GetParam();
  auto parsed = parse_basic_authorization(c.header);
  ASSERT_EQ(parsed.has_value(), c.expected_utf8.has_value()) << c.header;
  if (!parsed) return;
  EXPECT_EQ(parsed->user, from_utf8(c.expected_utf8->first));
  EXPECT_EQ(parsed->password, from_utf8(c.expected_utf8->second));
}

using pair = std::pair<std::string, std::string>;

INSTANTIATE_TEST_SUITE_P(
    Headers, ParseBasicAuthorization,
    ::testing::Values(credentials_case{"WebSecret", "Basic d2ViOnNlY3JldA==", pair{"web", "secret"}},
                      credentials_case{"LowerCaseSchemeAndSpaces", "basic   d2ViOnNlY3JldA==  ", pair{"web", "secret"}},
                      // Only the first ":" separates; the password may hold more.
                      credentials_case{"ColonInPassword", "Basic d2ViOnNlY3JldDp4", pair{"web", "secret:x"}},
                      credentials_case{"EmptyUserAndPassword", "Basic Og==", pair{"", ""}},
                      credentials_case{"Utf8", "Basic 0LLQtdCxOtC/0LDRgNC+0LvRjA==", pair{"веб", "пароль"}},  // UTF-8
                      credentials_case{"Windows1251", "Basic 4uXhOu/g8O7r/A==", pair{"веб", "пароль"}},  // Windows-1251
                      credentials_case{"Empty", "", std::nullopt},
                      credentials_case{"SchemeOnly", "Basic", std::nullopt},
                      credentials_case{"SchemeAndSpace", "Basic ", std::nullopt},
                      credentials_case{"BearerScheme", "Bearer d2ViOnNlY3JldA==", std::nullopt},
                      credentials_case{"NoSpaceAfterScheme", "Basicd2ViOnNlY3JldA==", std::nullopt},
                      credentials_case{"NoColon", "Basic d2Vic2VjcmV0", std::nullopt},     // no ":"
                      credentials_case{"Unpadded", "Basic d2ViOnNlY3JldA", std::nullopt},  // unpadded
                      credentials_case{"BadCharacter", "Basic d2Vi!nNlY3JldA==", std::nullopt},
                      credentials_case{"PaddingInside", "Basic d2ViOnNlY3J=dA==", std::nullopt},
                      credentials_case{"TooMuchPadding", "Basic YQ===", std::nullopt},
                      credentials_case{"OnlyPadding", "Basic ====", std::nullopt}),
    testing::by_name);

}  // namespace
}  // namespace velmira
