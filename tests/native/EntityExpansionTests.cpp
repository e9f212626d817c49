// How far a configuration's entities can make it grow, which decides whether the reader hands it to the parser.

#include "core/EntityExpansion.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

constexpr std::uint64_t kCap = 1000;

std::string Laughs(int levels) {
  std::string text = "<!DOCTYPE a [<!ENTITY l0 \"lol\">";
  for (int i = 1; i < levels; ++i) {
    text += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) text += "&l" + std::to_string(i - 1) + ";";
    text += "\">";
  }
  return text + "]><a>&l" + std::to_string(levels - 1) + ";</a>";
}

std::string Utf16(const std::string& text) {
  std::string wide;
  for (const char c : text) wide += std::string{c, '\0'};
  return wide;
}

TEST(EntityExpansion, CountsEveryReferenceAtItsExpandedSize) {
  struct Case {
    const char* why;
    std::string text;
    std::optional<std::uint64_t> expected;
  };
  const Case cases[] = {
      {"no entities", "<!DOCTYPE a SYSTEM \"a.dtd\"><a b=\"&amp;&#65;\">&lt;</a>", 0},
      {"one used twice", "<!DOCTYPE a [<!ENTITY port '8080'>]><a p=\"&port;\">&port;</a>", 8},
      {"nested, references in declarations counted too",
       "<!DOCTYPE a [<!ENTITY x \"ab\"><!ENTITY y \"&x;&x;\">]><a>&y;</a>", 2 + 2 + (6 + 4)},
      {"an external one expands to nothing", "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.xml\">]><a>&e;&undeclared;</a>", 0},
      {"first declaration counts", "<!DOCTYPE a [<!ENTITY x \"a\"><!ENTITY x \"bbbb\">]><a>&x;</a>", 1},
      {"billion laughs, capped", Laughs(10), kCap + 1},
      {"parameter entity", "<!DOCTYPE a [<!ENTITY % p \"<!ENTITY x 'y'>\">%p;]><a/>", std::nullopt},
      {"cycle", "<!DOCTYPE a [<!ENTITY x \"&y;\"><!ENTITY y \"&x;\">]><a>&x;</a>", std::nullopt},
      {"cycle after the cap is passed", Laughs(10) + "<!ENTITY c \"&c;\"><b>&c;</b>", std::nullopt},
      {"UTF-16", Utf16("<!DOCTYPE a [<!ENTITY x \"a\">]><a>&x;</a>"), std::nullopt},
      {"unterminated", "<!ENTITY", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(tsm::EntityExpansion(c.text, kCap), c.expected) << c.why;
}

// Declared last to first, so that working out the first reference walks the whole chain at once.
TEST(EntityExpansion, ChainsLongerThanAnyFileNeedsHaveNoBound) {
  std::string text = "<!DOCTYPE a [";
  for (int i = 100000; i >= 1; --i) text += "<!ENTITY e" + std::to_string(i) + " \"&e" + std::to_string(i - 1) + ";\">";
  EXPECT_EQ(tsm::EntityExpansion(text + "<!ENTITY e0 \"x\">]><a>&e100000;</a>", kCap), std::nullopt);
}

} // namespace
