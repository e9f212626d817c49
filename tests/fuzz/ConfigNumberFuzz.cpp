// The configuration's number reader against an independent reading of the same rules.
#include "core/ConfigNumber.h"

#include <cctype>
#include <cstdint>
#include <optional>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// A slow, obviously-right reader: strip, sign, prefix, digits, each rule checked on its own.
std::optional<std::int32_t> Reference(std::string_view s) {
  std::size_t i = s.find_first_not_of(' ');
  if (i == std::string_view::npos) return std::nullopt;
  s.remove_prefix(i);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.starts_with("0x") || s.starts_with("0X")) {
    base = 16;
    s.remove_prefix(2);
  } else if (!s.empty() && (s[0] == '$' || s[0] == 'x' || s[0] == 'X')) {
    base = 16;
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 64) return std::nullopt; // long inputs: let the other checks decide
  for (char c : s)
    if (!(base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
      return std::nullopt;
  const std::string digits(s);
  if (base == 16) {
    const auto significant = digits.find_first_not_of('0');
    if (significant != std::string::npos && digits.size() - significant > 8) return std::nullopt;
    std::uint32_t v = static_cast<std::uint32_t>(std::strtoull(digits.c_str(), nullptr, 16));
    if (negative) v = 0u - v;
    return static_cast<std::int32_t>(v);
  }
  const auto significant = digits.find_first_not_of('0');
  if (significant != std::string::npos && digits.size() - significant > 10) return std::nullopt;
  long long v = std::strtoll(digits.c_str(), nullptr, 10);
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto value = tsm::ParseConfigInt(text);
  if (size <= 64 && value != Reference(text)) std::abort();
  const auto port = tsm::PortFromConfigText(text);
  if (port && (*port < 1 || *port > 65535 || port != value)) std::abort();
  return 0;
}
