#include "core/ConfigNumber.h"

namespace tsm {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithHexPrefix(std::string_view s, std::size_t& prefixLength) {
  if (s.starts_with('$') || s.starts_with('x') || s.starts_with('X')) {
    prefixLength = 1;
    return true;
  }
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    prefixLength = 2;
    return true;
  }
  return false;
}

} // namespace

std::optional<std::int32_t> ParseConfigInt(std::string_view text) {
  while (text.starts_with(' ')) text.remove_prefix(1);

  bool negative = false;
  if (text.starts_with('+') || text.starts_with('-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  if (std::size_t prefix = 0; StartsWithHexPrefix(text, prefix)) {
    text.remove_prefix(prefix);
    if (text.empty()) return std::nullopt;
    std::uint32_t pattern = 0;
    int significant = 0;
    for (char c : text) {
      const int digit = HexDigit(c);
      if (digit < 0) return std::nullopt;
      if (significant > 0 || digit != 0) ++significant;
      if (significant > 8) return std::nullopt;
      pattern = pattern << 4 | static_cast<std::uint32_t>(digit);
    }
    if (negative) pattern = 0u - pattern;
    return static_cast<std::int32_t>(pattern); // two's complement: the pattern's top bit is the sign
  }

  if (text.empty()) return std::nullopt;
  // Accumulate the magnitude in 64 bits; the limit on the negative side is one larger than on the positive side.
  const std::int64_t limit = negative ? std::int64_t{INT32_MAX} + 1 : std::int64_t{INT32_MAX};
  std::int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::optional<std::int32_t> PortFromConfigText(std::string_view text) {
  const auto value = ParseConfigInt(text);
  if (!value || *value <= 0 || *value > kHighestPort) return std::nullopt;
  return value;
}

} // namespace tsm
