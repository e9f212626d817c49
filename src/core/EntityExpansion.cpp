#include "core/EntityExpansion.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace tsm {
namespace {

constexpr std::string_view kDeclaration = "<!ENTITY";
constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::size_t kMaxNesting = 64;

bool IsBlank(char c) { return kBlanks.find(c) != std::string_view::npos; }

// The declaration in UTF-16 of one byte order: each character's byte beside a zero.
std::string Utf16(bool littleEndian) {
  std::string wide;
  for (const char c : kDeclaration) wide += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
  return wide;
}

class Expansion {
public:
  Expansion(std::string_view text, std::uint64_t cap) : text_(text), cap_(cap) {}

  // Reads every declaration; false when one cannot be bounded. Each search starts where the last declaration ended, so
  // the reading stays linear in the file's length whatever the file holds.
  bool ReadDeclarations() {
    for (std::size_t at = text_.find(kDeclaration); at != std::string_view::npos; at = text_.find(kDeclaration, at)) {
      std::size_t i = SkipBlanks(at + kDeclaration.size());
      if (i < text_.size() && text_[i] == '%') return false; // a parameter entity: it rewrites the declarations
      const std::size_t nameEnd = std::min(text_.find_first_of(" \t\r\n\"'<>&", i), text_.size());
      const std::string_view name = text_.substr(i, nameEnd - i);
      at = nameEnd;
      i = SkipBlanks(nameEnd);
      std::string_view value; // an external entity (SYSTEM or PUBLIC) is never fetched: it expands to nothing
      if (i < text_.size() && (text_[i] == '"' || text_[i] == '\'')) {
        const std::size_t close = std::min(text_.find(text_[i], i + 1), text_.size());
        value = text_.substr(i + 1, close - i - 1);
        at = close;
      }
      values_.emplace(name, value); // the first declaration of a name is the one that counts
    }
    return true;
  }

  // What every reference in `text` expands to, or nothing when an entity refers to itself.
  std::optional<std::uint64_t> OfReferencesIn(std::string_view text) {
    std::uint64_t total = 0;
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
      // A name ends at the semicolon; the search stops at the next reference or tag, so it never runs over the file
      // once per ampersand.
      const std::size_t semicolon = text.find_first_of(";&<", amp + 1);
      if (semicolon == std::string_view::npos) break;
      if (text[semicolon] != ';') continue;
      const auto declared = values_.find(text.substr(amp + 1, semicolon - amp - 1));
      if (declared == values_.end()) continue; // a character reference, a predefined entity, or stray text
      const auto size = OfEntity(declared->first, declared->second);
      if (!size) return std::nullopt;
      total = Add(total, *size);
    }
    return total;
  }

private:
  std::size_t SkipBlanks(std::size_t i) const {
    while (i < text_.size() && IsBlank(text_[i])) ++i;
    return i;
  }

  std::uint64_t Add(std::uint64_t a, std::uint64_t b) const { return std::min(a + std::min(b, cap_ + 1), cap_ + 1); }

  // An entity's own characters, its references replaced by what they expand to.
  std::optional<std::uint64_t> OfEntity(std::string_view name, std::string_view value) {
    if (const auto known = sizes_.find(name); known != sizes_.end()) return known->second;
    // One that refers to itself, and a chain longer than any file needs, which would only deepen the stack.
    if (expanding_.size() >= kMaxNesting || !expanding_.insert(name).second) return std::nullopt;
    const auto references = OfReferencesIn(value);
    expanding_.erase(name);
    if (!references) return std::nullopt;
    const std::uint64_t size = Add(value.size(), *references);
    sizes_.emplace(name, size);
    return size;
  }

  std::string_view text_;
  std::uint64_t cap_;
  std::map<std::string_view, std::string_view> values_;
  std::map<std::string_view, std::uint64_t> sizes_;
  std::set<std::string_view> expanding_; // the entities whose expansion is being worked out, nested
};

} // namespace

std::optional<std::uint64_t> EntityExpansion(std::string_view bytes, std::uint64_t cap) {
  if (bytes.find(Utf16(true)) != std::string_view::npos || bytes.find(Utf16(false)) != std::string_view::npos)
    return std::nullopt;
  if (bytes.find(kDeclaration) == std::string_view::npos) return 0;
  Expansion expansion(bytes, cap);
  if (!expansion.ReadDeclarations()) return std::nullopt;
  return expansion.OfReferencesIn(bytes);
}

} // namespace tsm
