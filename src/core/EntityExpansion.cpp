#include "core/EntityExpansion.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tsm {
namespace {

constexpr std::string_view kDeclaration = "<!ENTITY";
constexpr std::string_view kAttributeList = "<!ATTLIST";
constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::size_t kMaxNesting = 64;
// What a character reference outside ASCII becomes in a value as read here. The text read never holds a NUL (those
// files are refused), so a name holding one is a name spelled by references, which this reading cannot match.
constexpr char kBeyondAscii = '\0';

bool IsBlank(char c) { return kBlanks.find(c) != std::string_view::npos; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// ---------------------------------------------------------------------------------------------------------------------
// The characters the parser reads. The scan below works on bytes, and is sound only where each byte that is markup to
// the parser ('<', '&', ';', a quote, a letter of a name) is that same byte here, and no other byte becomes one.

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16 as UTF-8, or false for an odd byte, an unpaired surrogate or a NUL.
bool FromUtf16(std::string_view bytes, bool bigEndian, std::string& out) {
  if (bytes.size() % 2) return false;
  out.reserve(bytes.size() / 2 * 3);
  const auto unit = [&](std::size_t i) {
    const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<std::uint32_t>(bigEndian ? first << 8 | second : second << 8 | first);
  };
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    std::uint32_t code = unit(i);
    if (code == 0 || (code >= 0xDC00 && code <= 0xDFFF)) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 2 >= bytes.size()) return false;
      const std::uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(out, code);
  }
  return true;
}

// Strict UTF-8: no overlong forms (which a lenient decoder would turn into '<' or '&'), no surrogates, nothing past
// U+10FFFF.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0; // 0: no lead byte
    if (lead < 0x80)
      length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF)
      length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
      length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
      length = 4;
    if (length == 0 || text.size() - i < length) return false;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// Encodings in which every ASCII byte is that character and every other byte is a character outside ASCII.
bool IsOneBytePerCharacter(std::string_view encoding) {
  const auto numbered = [&](std::string_view prefix, int lowest, int highest) {
    if (encoding.size() <= prefix.size() || !SameIgnoringCase(encoding.substr(0, prefix.size()), prefix)) return false;
    int number = 0;
    for (const char c : encoding.substr(prefix.size())) {
      if (c < '0' || c > '9' || number > 10000) return false;
      number = number * 10 + (c - '0');
    }
    return encoding[prefix.size()] != '0' && number >= lowest && number <= highest;
  };
  return numbered("iso-8859-", 1, 16) || numbered("windows-", 1250, 1258);
}

// What the XML declaration at the start of text names as its encoding ("" for none), or nothing when the
// declaration is not one this reading is sure the parser reads the same way.
std::optional<std::string_view> DeclaredEncoding(std::string_view text) {
  const auto startsWith = [&](std::size_t at, std::string_view what) {
    return text.size() - at >= what.size() && SameIgnoringCase(text.substr(at, what.size()), what);
  };
  if (!startsWith(0, "<?xml")) return "";
  // A processing instruction of another name ("<?xml-stylesheet") is no declaration.
  constexpr std::string_view kNameCharacters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._:";
  if (text.size() > 5 && kNameCharacters.find(text[5]) != std::string_view::npos) return "";
  if (text.size() == 5 || !IsBlank(text[5]) || text.substr(0, 5) != "<?xml") return std::nullopt;
  std::string_view encoding;
  std::set<std::string_view> seen;
  for (std::size_t i = 5;;) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (startsWith(i, "?>")) return encoding;
    const std::size_t nameEnd = std::min(text.find_first_not_of("abcdefghijklmnopqrstuvwxyz", i), text.size());
    const std::string_view name = text.substr(i, nameEnd - i);
    if ((name != "version" && name != "encoding" && name != "standalone") || !seen.insert(name).second)
      return std::nullopt;
    i = nameEnd;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') return std::nullopt;
    ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return std::nullopt;
    const std::size_t close = text.find(text[i], i + 1);
    if (close == std::string_view::npos) return std::nullopt;
    if (name == "encoding") encoding = text.substr(i + 1, close - i - 1);
    i = close + 1;
  }
}

// A declaration anywhere but at the very start is an error to a strict parser; a lenient one might switch encodings
// there.
bool DeclaresAgain(std::string_view text) {
  for (std::size_t at = text.find("<?", 1); at != std::string_view::npos; at = text.find("<?", at + 2)) {
    if (text.size() - at < 6 || !SameIgnoringCase(text.substr(at + 2, 3), "xml")) continue;
    if (IsBlank(text[at + 5]) || text[at + 5] == '?') return true;
  }
  return false;
}

// Markup starts a document, or blanks before it. Plain ASCII before it is no document at all, which the parser
// refuses as such (and the reader then says where); any other start may be another encoding the parser would see
// there: EBCDIC's "<?xm", whose first byte is an ASCII 'L', or a second byte-order mark.
bool StartsAsMarkup(std::string_view text) {
  using namespace std::string_view_literals;
  if (text.empty() || text[0] == '<' || IsBlank(text[0])) return true;
  return static_cast<unsigned char>(text[0]) < 0x80 && text.substr(0, 4) != "\x4C\x6F\xA7\x94"sv;
}

// The text as the parser will read it, in UTF-8 or in the file's own 8-bit encoding; false when that is not sure.
// `converted` holds the text when it had to be converted.
bool ReadAsTheParserDoes(std::string_view bytes, std::string& converted, std::string_view& text) {
  using namespace std::string_view_literals;
  const auto startsWith = [&](std::string_view what) { return bytes.substr(0, what.size()) == what; };
  if (startsWith("\xFF\xFE"sv) || startsWith("\xFE\xFF"sv) || startsWith("<\0?\0"sv) || startsWith("\0<\0?"sv)) {
    const bool bigEndian = bytes[0] == '\0' || bytes[0] == '\xFE';
    const std::size_t mark = bytes[0] == '<' || bytes[0] == '\0' ? 0 : 2;
    if (!FromUtf16(bytes.substr(mark), bigEndian, converted)) return false;
    text = converted;
    const auto encoding = DeclaredEncoding(text);
    return StartsAsMarkup(text) && encoding && (encoding->empty() || SameIgnoringCase(*encoding, "utf-16")) &&
           !DeclaresAgain(text);
  }

  const bool mark = startsWith("\xEF\xBB\xBF"sv);
  text = bytes.substr(mark ? 3 : 0);
  // Wine's parser stops at the end of the root element, so NULs after it are let be; a NUL anywhere else is either
  // an error or a character of another encoding.
  const std::size_t last = text.find_last_not_of('\0');
  text = text.substr(0, last == std::string_view::npos ? 0 : last + 1);
  if (text.find('\0') != std::string_view::npos || !StartsAsMarkup(text)) return false;
  const auto encoding = DeclaredEncoding(text);
  if (!encoding || DeclaresAgain(text)) return false;
  if (!mark && IsOneBytePerCharacter(*encoding)) return true;
  return (encoding->empty() || SameIgnoringCase(*encoding, "utf-8") || SameIgnoringCase(*encoding, "us-ascii")) &&
         IsUtf8(text);
}

// ---------------------------------------------------------------------------------------------------------------------
// The count

// An entity's value as the parser keeps it: its character references replaced, its entity references left as they
// are, to be expanded where the entity is used. Nothing for a value in which a reference makes a '%'.
std::optional<std::string> Replaced(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size();) {
    if (value[i] != '&' || value.size() - i < 2 || value[i + 1] != '#') {
      out += value[i++];
      continue;
    }
    // "&#" digits ";" or "&#x" hex digits ";", leading zeros as many as there are.
    std::size_t j = i + 2;
    const bool hex = j < value.size() && (value[j] == 'x' || value[j] == 'X');
    if (hex) ++j;
    const std::size_t digitsStart = j;
    std::uint32_t code = 0;
    bool tooLarge = false;
    for (; j < value.size(); ++j) {
      const char c = Lower(value[j]);
      const int digit = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) break;
      code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
      if (code > 0x10FFFF) {
        tooLarge = true;
        code = 0x10FFFF;
      }
    }
    if (j == digitsStart || j >= value.size() || value[j] != ';' || tooLarge || code == 0) {
      out += value[i++]; // no reference the parser accepts: the file fails to parse, and the text counts as it is
      continue;
    }
    if (code == '%') return std::nullopt;
    out += code < 0x80 ? static_cast<char>(code) : kBeyondAscii;
    i = j + 1;
  }
  return out;
}

class Expansion {
public:
  Expansion(std::string_view text, std::uint64_t cap) : text_(text), cap_(cap) {}

  // Reads every declaration, wherever it stands; false when one cannot be bounded. A declaration's value may hide
  // the next `<!ENTITY` (in a comment, say), so the search goes on right after each keyword; each value is closed
  // by the next quote of its kind, found at most once for all declarations that share it, so the reading stays
  // linear in the file's length whatever the file holds.
  bool ReadDeclarations() {
    for (std::size_t at = text_.find(kDeclaration); at != std::string_view::npos;
         at = text_.find(kDeclaration, at + kDeclaration.size())) {
      std::size_t i = SkipBlanks(at + kDeclaration.size());
      if (i < text_.size() && text_[i] == '%') return false; // a parameter entity: it rewrites the declarations
      const std::size_t nameEnd = std::min(text_.find_first_of(" \t\r\n\"'<>&", i), text_.size());
      const std::string_view name = text_.substr(i, nameEnd - i);
      i = SkipBlanks(nameEnd);
      std::string_view value; // an external entity (SYSTEM or PUBLIC) is never fetched: it expands to nothing
      if (i < text_.size() && (text_[i] == '"' || text_[i] == '\'')) {
        const std::size_t close = NextQuote(text_[i], i + 1);
        value = text_.substr(i + 1, close - i - 1);
      }
      values_[name].push_back(value);
    }
    return true;
  }

  // What every reference in `text` expands to, or nothing when an entity cannot be bounded.
  std::optional<std::uint64_t> OfReferencesIn(std::string_view text) {
    std::uint64_t total = 0;
    const bool bounded = EachReferenceIn(text, [&](const auto& declared) {
      const auto size = OfEntity(declared.first, declared.second);
      if (size) total = Add(total, *size);
      return size.has_value();
    });
    return bounded ? std::optional(total) : std::nullopt;
  }

  // False when an attribute-list declaration's defaults, their character references replaced, refer to an entity
  // the file declares. The parser copies a default into every element that lacks the attribute, so such a
  // reference expands once per element, not once as counted here; a configuration never needs one. Like the
  // entity declarations, every `<!ATTLIST` counts, in a comment or a literal too. A default cannot hold a '<', so
  // the text up to the next one holds all of the declaration's defaults; those stretches never overlap, and the
  // check reads the file once.
  bool DefaultsReferToNoEntity() {
    for (std::size_t at = text_.find(kAttributeList); at != std::string_view::npos;
         at = text_.find(kAttributeList, at + kAttributeList.size())) {
      const std::size_t from = at + kAttributeList.size();
      const std::size_t end = std::min(text_.find('<', from), text_.size());
      const auto replaced = Replaced(text_.substr(from, end - from));
      if (!replaced || !EachReferenceIn(*replaced, [](const auto&) { return false; })) return false;
    }
    return true;
  }

private:
  // Hands `use` each declared entity that `text` refers to, in order, while it returns true; false when `use` or a
  // name this reading cannot match stopped it.
  template <typename Use> bool EachReferenceIn(std::string_view text, Use use) {
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
      // A name ends at the semicolon; the search stops at the next reference or tag, so it never runs over the file
      // once per ampersand.
      const std::size_t semicolon = text.find_first_of(";&<", amp + 1);
      if (semicolon == std::string_view::npos) break;
      if (text[semicolon] != ';') continue;
      const std::string_view name = text.substr(amp + 1, semicolon - amp - 1);
      if (name.find(kBeyondAscii) != std::string_view::npos) return false;
      const auto declared = values_.find(name);
      if (declared == values_.end()) continue; // a character reference, a predefined entity, or stray text
      if (!use(*declared)) return false;
    }
    return true;
  }

  std::size_t SkipBlanks(std::size_t i) const {
    while (i < text_.size() && IsBlank(text_[i])) ++i;
    return i;
  }

  // The first `quote` at or after `from`, or the end. The declarations come in the file's order, so a quote found
  // for one is the answer for every later one that starts before it.
  std::size_t NextQuote(char quote, std::size_t from) {
    std::size_t& found = quote == '"' ? nextDouble_ : nextSingle_;
    if (found == kNotYet || found < from) found = std::min(text_.find(quote, from), text_.size());
    return found;
  }

  std::uint64_t Add(std::uint64_t a, std::uint64_t b) const { return std::min(a + std::min(b, cap_ + 1), cap_ + 1); }

  // An entity's own characters, its references replaced by what they expand to; the largest of its declarations.
  std::optional<std::uint64_t> OfEntity(std::string_view name, const std::vector<std::string_view>& values) {
    if (const auto known = sizes_.find(name); known != sizes_.end()) return known->second;
    // One that refers to itself, and a chain longer than any file needs, which would only deepen the stack.
    if (expanding_.size() >= kMaxNesting || !expanding_.insert(name).second) return std::nullopt;
    std::optional<std::uint64_t> size = 0;
    for (const std::string_view value : values) {
      const auto replaced = Replaced(value);
      const auto references = replaced ? OfReferencesIn(*replaced) : std::nullopt;
      if (!references) {
        size.reset();
        break;
      }
      size = std::max(*size, Add(replaced->size(), *references));
    }
    expanding_.erase(name);
    if (size) sizes_.emplace(name, *size);
    return size;
  }

  static constexpr std::size_t kNotYet = std::string_view::npos;

  std::string_view text_;
  std::uint64_t cap_;
  std::map<std::string_view, std::vector<std::string_view>> values_; // every declaration of each name
  std::map<std::string_view, std::uint64_t> sizes_;
  std::set<std::string_view> expanding_; // the entities whose expansion is being worked out, nested
  std::size_t nextDouble_ = kNotYet, nextSingle_ = kNotYet;
};

} // namespace

std::optional<std::uint64_t> EntityExpansion(std::string_view bytes, std::uint64_t cap) {
  std::string converted;
  std::string_view text;
  if (!ReadAsTheParserDoes(bytes, converted, text)) return std::nullopt;
  if (text.find(kDeclaration) == std::string_view::npos) return 0;
  Expansion expansion(text, cap);
  if (!expansion.ReadDeclarations() || !expansion.DefaultsReferToNoEntity()) return std::nullopt;
  return expansion.OfReferencesIn(text);
}

} // namespace tsm
