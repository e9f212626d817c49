#include "support/ProbeHarness.h"

#include <charconv>

namespace tsm::test::probe {
std::string SinceAnswer(const std::string& since) { return HttpAnswer("<runningSince>" + since + "</runningSince>"); }

std::optional<std::pair<std::int32_t, std::int32_t>> ParseStopRequest(std::string_view request) {
  constexpr std::string_view lead = "GET /app?operation=ws&s=r&t=";
  constexpr std::string_view tail = " HTTP/1.1\r\n";
  if (request.substr(0, lead.size()) != lead) return std::nullopt;
  const auto lineEnd = request.find(tail);
  if (lineEnd == std::string_view::npos) return std::nullopt;
  const std::string_view query = request.substr(lead.size(), lineEnd - lead.size()); // "<t>&u=<u>"
  const auto separator = query.find("&u=");
  if (separator == std::string_view::npos) return std::nullopt;

  // Plain signed decimal: no plus sign, no leading zeros, nothing after the digits.
  const auto number = [](std::string_view text) -> std::optional<std::int32_t> {
    const std::string_view digits = text.substr(!text.empty() && text[0] == '-' ? 1 : 0);
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
  };
  const auto t = number(query.substr(0, separator));
  const auto u = number(query.substr(separator + 3));
  if (!t || !u) return std::nullopt;
  return std::make_pair(*t, *u);
}

} // namespace tsm::test::probe
