// How far a configuration's entities can make it grow, which decides whether the reader hands it to the parser.

#include "core/EntityExpansion.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace {

constexpr std::uint64_t kCap = 1000;

// Ten levels of ten references each; `reference` writes the reference to an entity of the level below in a value.
std::string Laughs(int levels, const std::string& before = "",
                   const std::function<std::string(const std::string&)>& reference = {}) {
  std::string text = "<!DOCTYPE a [" + before + "<!ENTITY l0 \"lol\">";
  for (int i = 1; i < levels; ++i) {
    text += "<!ENTITY l" + std::to_string(i) + " \"";
    const std::string below = "l" + std::to_string(i - 1);
    for (int j = 0; j < 10; ++j) text += reference ? reference(below) : "&" + below + ";";
    text += "\">";
  }
  return text + "]><a>&l" + std::to_string(levels - 1) + ";</a>";
}

// The names of the first levels declared again, small, in a comment before the real declarations.
std::string CommentDeclaringAgain() {
  std::string comment = "<!-- ";
  for (int i = 0; i < 10; ++i) comment += "<!ENTITY l" + std::to_string(i) + " \"x\"> ";
  return comment + "-->";
}

// e1 names e2, ... e<length> is plain text. The file's first reference is the one to e1, so that working it out walks
// the whole chain at once.
std::string Chain(int length) {
  std::string text = "<!DOCTYPE a [<!ENTITY top \"&e1;\">";
  for (int i = 1; i < length; ++i) text += "<!ENTITY e" + std::to_string(i) + " \"&e" + std::to_string(i + 1) + ";\">";
  return text + "<!ENTITY e" + std::to_string(length) + " \"x\">]><a>&top;</a>";
}

std::string Unrelated(int count) {
  std::string declarations, uses;
  for (int i = 0; i < count; ++i) {
    declarations += "<!ENTITY u" + std::to_string(i) + " \"ab\">";
    uses += "&u" + std::to_string(i) + ";";
  }
  return "<!DOCTYPE a [" + declarations + "]><a>" + uses + "</a>";
}

std::string OneOfSize(std::size_t size) {
  return "<!DOCTYPE a [<!ENTITY big \"" + std::string(size, 'x') + "\">]><a>&big;</a>";
}

std::string Utf16(const std::string& text, bool bigEndian = false, const std::string& mark = "") {
  std::string wide = mark;
  for (const char c : text) wide += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return wide;
}

const std::string kPortEntity = "<!DOCTYPE a [<!ENTITY port \"8080\">]><a>&port;</a>";

std::string Declared(const std::string& encoding) {
  return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>" + kPortEntity;
}

// Each text is handed over as the first part of a longer buffer, so that a read one past its end finds no NUL but
// bytes that would change the figure (a blank, then a parameter entity, a quote, a reference), even where no
// assertion of the library is there to catch it.
std::optional<std::uint64_t> Guard(const std::string& text) {
  const std::string buffer = text + " % \"'&x;";
  return tsm::EntityExpansion(std::string_view(buffer).substr(0, text.size()), kCap);
}

struct Case {
  const char* why;
  std::string text;
  std::optional<std::uint64_t> expected;
};

TEST(EntityExpansion, CountsEveryReferenceAtItsExpandedSize) {
  const Case cases[] = {
      {"no entities", "<!DOCTYPE a SYSTEM \"a.dtd\"><a b=\"&amp;&#65;\">&lt;</a>", 0},
      {"one used twice", "<!DOCTYPE a [<!ENTITY port '8080'>]><a p=\"&port;\">&port;</a>", 8},
      {"nested, references in declarations counted too",
       "<!DOCTYPE a [<!ENTITY x \"ab\"><!ENTITY y \"&x;&x;\">]><a>&y;</a>", 2 + 2 + (6 + 4)},
      {"an external one expands to nothing", "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.xml\">]><a>&e;&undeclared;</a>", 0},
      {"a name declared twice counts at its largest", "<!DOCTYPE a [<!ENTITY x \"bbbb\"><!ENTITY x \"a\">]><a>&x;</a>",
       4},
      {"billion laughs, capped", Laughs(10), kCap + 1},
      {"parameter entity", "<!DOCTYPE a [<!ENTITY % p \"<!ENTITY x 'y'>\">%p;]><a/>", std::nullopt},
      {"cycle", "<!DOCTYPE a [<!ENTITY x \"&y;\"><!ENTITY y \"&x;\">]><a>&x;</a>", std::nullopt},
      {"cycle after the cap is passed", Laughs(10) + "<!ENTITY c \"&c;\"><b>&c;</b>", std::nullopt},
      {"unterminated", "<!ENTITY", 0},
      {"unterminated after its name", "<!ENTITY x", 0},
      {"unterminated value", "<!ENTITY x \"ab", 0},
      {"a trailing ampersand", kPortEntity + "&", 4},
      {"a value ending in an ampersand", "<!DOCTYPE a [<!ENTITY x \"ab&\">]><a>&x;</a>", 3},
      // Declarations the scan could take for others.
      {"the names declared again in a comment before", Laughs(10, CommentDeclaringAgain()), kCap + 1},
      {"a comment's value that runs over the real declaration",
       "<!DOCTYPE a [<!-- <!ENTITY x \" --><!ENTITY big \"" + std::string(kCap + 1, 'x') + "\">]><a>&big;</a>",
       kCap + 1},
      // References that character references make in a value.
      {"&#38;", Laughs(10, "", [](const std::string& n) { return "&#38;" + n + ";"; }), kCap + 1},
      {"&#x26;", Laughs(10, "", [](const std::string& n) { return "&#x26;" + n + ";"; }), kCap + 1},
      {"&#X0026;", Laughs(10, "", [](const std::string& n) { return "&#X0026;" + n + ";"; }), kCap + 1},
      {"&#00038;", Laughs(10, "", [](const std::string& n) { return "&#00038;" + n + ";"; }), kCap + 1},
      {"the name spelled by references too",
       Laughs(10, "", [](const std::string& n) { return "&#38;&#x6C;" + n.substr(1) + "&#59;"; }), kCap + 1},
      {"&#38;#38; is an ampersand, no reference", "<!DOCTYPE a [<!ENTITY amp2 \"&#38;#38;\">]><a>&amp2;</a>", 5},
      {"a name spelled outside ASCII by references",
       "<!DOCTYPE a [<!ENTITY \xC3\xA9 \"x\"><!ENTITY y \"&#38;&#233;;\">]><a>&y;</a>", std::nullopt},
      {"&#37;", "<!DOCTYPE a [<!ENTITY x \"&#37;p;\">]><a>&x;</a>", std::nullopt},
      {"&#x25;", "<!DOCTYPE a [<!ENTITY x \"&#x25;p;\">]><a>&x;</a>", std::nullopt},
      // Attribute defaults, which the parser copies into every element lacking the attribute.
      {"a plain default", "<!DOCTYPE a [<!ATTLIST a b CDATA \"x&amp;y\"><!ENTITY x \"ab\">]><a>&x;</a>", 2},
      {"a default naming an entity", "<!DOCTYPE a [<!ENTITY x \"ab\"><!ATTLIST a b CDATA \"&x;\">]><a/><a/>",
       std::nullopt},
      {"a default naming one through &#38;, in a comment",
       "<!DOCTYPE a [<!ENTITY x \"ab\"><!-- <!ATTLIST a b CDATA \"&#38;x;\"> -->]><a/>", std::nullopt},
      // The bytes the parser reads otherwise.
      {"UTF-16, little-endian with its mark", Utf16(kPortEntity, false, "\xFF\xFE"), 4},
      {"UTF-16, big-endian with its mark, laughing", Utf16(Laughs(10), true, "\xFE\xFF"), kCap + 1},
      {"UTF-16 declared, no mark", Utf16(Declared("UTF-16")), 4},
      {"UTF-16 declaring UTF-8", Utf16(Declared("UTF-8"), false, "\xFF\xFE"), std::nullopt},
      {"UTF-16 without a mark or declaration", Utf16(kPortEntity), std::nullopt},
      {"UTF-32 with its mark", std::string("\xFF\xFE\0\0", 4) + Utf16(kPortEntity), std::nullopt},
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + Declared("utf-8"), 4},
      {"ISO-8859-1 bytes declared", Declared("ISO-8859-1") + "<!-- caf\xE9 -->", 4},
      {"windows-1252 declared", Declared("Windows-1252"), 4},
      {"ISO-8859-1 bytes undeclared", kPortEntity + "<!-- caf\xE9 -->", std::nullopt},
      {"an overlong ampersand", "<!DOCTYPE a [<!ENTITY x \"\xC0\xA6l9;\">]><a>&x;</a>", std::nullopt},
      {"UTF-7 declared", Declared("UTF-7"), std::nullopt},
      {"UTF-16 declared in 8-bit text", Declared("UTF-16"), std::nullopt},
      {"a second declaration", kPortEntity + "<?xml version=\"1.0\" encoding=\"UTF-7\"?>", std::nullopt},
      {"a declaration with an unknown part", "<?xml version=\"1.0\" charset=\"UTF-7\"?>" + kPortEntity, std::nullopt},
      {"EBCDIC", "\x4C\x6F\xA7\x94" + kPortEntity, std::nullopt},
      {"plain text, no document at all", "httpPort=8080\r\n" + kPortEntity, 4},
      {"a NUL inside", std::string("<a>\0</a>", 8) + kPortEntity, std::nullopt},
      {"NULs after the end", kPortEntity + std::string(4, '\0'), 4},
      // The limits, at their edges.
      {"a single reference at the cap", OneOfSize(kCap), kCap},
      {"a single reference one past the cap", OneOfSize(kCap + 1), kCap + 1},
      {"more than 64 unrelated entities", Unrelated(100), 200},
  };
  for (const Case& c : cases) EXPECT_EQ(Guard(c.text), c.expected) << c.why;
}

// The chain's bound at its edge: 64 entities each naming the next are read, 65 are not.
TEST(EntityExpansion, ChainsOfSixtyFourAtMost) {
  EXPECT_NE(Guard(Chain(64)), std::nullopt);
  EXPECT_EQ(Guard(Chain(65)), std::nullopt);
}

// Declared last to first, so that working out the first reference walks the whole chain at once.
TEST(EntityExpansion, ChainsLongerThanAnyFileNeedsHaveNoBound) {
  std::string text = "<!DOCTYPE a [";
  for (int i = 100000; i >= 1; --i) text += "<!ENTITY e" + std::to_string(i) + " \"&e" + std::to_string(i - 1) + ";\">";
  EXPECT_EQ(tsm::EntityExpansion(text + "<!ENTITY e0 \"x\">]><a>&e100000;</a>", kCap), std::nullopt);
}

} // namespace
