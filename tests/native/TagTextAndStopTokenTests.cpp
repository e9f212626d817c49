// Cutting runningSince out of an answer, and the token a stop request carries.
#include "core/ServerContract.h"
#include "core/StopToken.h"
#include "core/TagText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

namespace {

// Names each case of a table by its name field.
struct ByName {
  template <class Case> std::string operator()(const testing::TestParamInfo<Case>& c) const { return c.param.name; }
};

struct TagCase {
  friend void PrintTo(const TagCase& c, std::ostream* os) { *os << c.name; }
  const char* name;
  std::string data;
  std::string tag;
  std::string text;
};

class TagText : public testing::TestWithParam<TagCase> {};

TEST_P(TagText, CutsTheTextBetweenFirstOpenAndFirstClose) {
  EXPECT_EQ(tsm::ExtractTagText(GetParam().data, GetParam().tag), GetParam().text);
}

const std::string kAnswer = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n"
                            "<status><runningSince>2024-05-01 08:00</runningSince></status>";

INSTANTIATE_TEST_SUITE_P(
    Answers, TagText,
    testing::Values(
        TagCase{"WholeAnswer", kAnswer, "runningSince", "2024-05-01 08:00"},
        TagCase{"NoTrimNoUnescape", "<a> x &amp; y\r\n</a>", "a", " x &amp; y\r\n"},
        TagCase{"FirstOfSeveral", "<a>1</a><a>2</a>", "a", "1"},
        TagCase{"NestedSameName", "<a><a>x</a></a>", "a", "<a>x"}, TagCase{"Empty", "<a></a>", "a", ""},
        TagCase{"EmptyData", "", "a", ""}, TagCase{"CloseOnly", "x</a>", "a", ""}, TagCase{"OpenOnly", "<a>x", "a", ""},
        TagCase{"NeitherTag", "<b>x</b>", "a", ""}, TagCase{"CloseBeforeOpen", "</a>x<a>", "a", ""},
        TagCase{"EarlierCloseWinsOverLaterPair", "</a><a>x</a>", "a", ""},
        TagCase{"AttributeHidesOpen", "<a id=\"1\">x</a>", "a", ""},
        TagCase{"BlankBeforeBracketHidesOpen", "<a >x</a>", "a", ""},
        TagCase{"BlankAfterBracketHidesOpen", "< a>x</a>", "a", ""}, TagCase{"CaseMatters", "<A>x</A>", "a", ""},
        TagCase{"HeadersAreSearchedToo", "HTTP/1.1 200 OK\r\nX-Note: <a>head</a>\r\n\r\n<a>body</a>", "a", "head"},
        TagCase{"OpenInHeaderCloseInBody", "X: <a>\r\n\r\nbody</a>", "a", "\r\n\r\nbody"},
        TagCase{"ShorterTagNameIsNotAPrefixMatch", "<runningSince>T</runningSince>", "running", ""},
        TagCase{"LongerTagNameIsSkipped", "<runningSinceX>no</runningSinceX><runningSince>T</runningSince>",
                "runningSince", "T"},
        TagCase{"LongerCloseIsText", "<a>x</ab>y</a>", "a", "x</ab>y"}),
    ByName());

struct TokenCase {
  friend void PrintTo(const TokenCase& c, std::ostream* os) { *os << c.name; }
  const char* name;
  std::int32_t t;
  std::int32_t u;
  std::string path;
};

class StopToken : public testing::TestWithParam<TokenCase> {};

TEST_P(StopToken, UAndPath) {
  const TokenCase& c = GetParam();
  const tsm::StopToken token = tsm::MakeStopToken(c.t);
  EXPECT_EQ(token.t, c.t);
  EXPECT_EQ(token.u, c.u);
  EXPECT_EQ(tsm::StopRequestPath(token), c.path);
  EXPECT_TRUE(tsm::StopTokenChecks(c.t, c.u));
  EXPECT_FALSE(tsm::StopTokenChecks(c.t, static_cast<std::int32_t>(static_cast<std::uint32_t>(c.u) + 1u)));
}

// With the server's constant 7919, u = 7918 t, wrapping at 32 bits.
INSTANTIATE_TEST_SUITE_P(Tokens, StopToken,
                         testing::Values(TokenCase{"Lowest", 100, 791800, "/app?operation=ws&s=r&t=100&u=791800"},
                                         TokenCase{"Typical", 123, 973914, "/app?operation=ws&s=r&t=123&u=973914"},
                                         TokenCase{"Highest", 199, 1575682, "/app?operation=ws&s=r&t=199&u=1575682"},
                                         TokenCase{"WrapsNegative", 300000, -1919567296,
                                                   "/app?operation=ws&s=r&t=300000&u=-1919567296"},
                                         TokenCase{"NegativeT", -1, -7918, "/app?operation=ws&s=r&t=-1&u=-7918"},
                                         TokenCase{"Zero", 0, 0, "/app?operation=ws&s=r&t=0&u=0"},
                                         TokenCase{"LargestT", std::numeric_limits<std::int32_t>::max(), -7918,
                                                   "/app?operation=ws&s=r&t=2147483647&u=-7918"},
                                         TokenCase{"SmallestT", std::numeric_limits<std::int32_t>::min(), 0,
                                                   "/app?operation=ws&s=r&t=-2147483648&u=0"}),
                         ByName());

TEST(StopToken, DrawRangeAndConstant) {
  EXPECT_EQ(tsm::kStopConstant, 7919);
  EXPECT_EQ(tsm::kStopTokenLowest, 100);
  EXPECT_EQ(tsm::kStopTokenLowest + tsm::kStopTokenSpan - 1, 199);
}

} // namespace
