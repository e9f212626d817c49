#include "Request.h"

#include "core/ServerContract.h"
#include "core/StopToken.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

namespace tsm::standin {

namespace {

struct QueryPair {
  std::string_view key;
  std::string_view value;
};

// Splits "a=1&b=2" at '&' and then at the first '='; a piece without '=' has an empty value.
std::vector<QueryPair> SplitQuery(std::string_view query) {
  std::vector<QueryPair> pairs;
  while (true) {
    const auto amp = query.find('&');
    const auto piece = query.substr(0, amp);
    const auto eq = piece.find('=');
    if (eq == std::string_view::npos)
      pairs.push_back({piece, {}});
    else
      pairs.push_back({piece.substr(0, eq), piece.substr(eq + 1)});
    if (amp == std::string_view::npos) return pairs;
    query.remove_prefix(amp + 1);
  }
}

// Signed decimal in 32 bits and nothing else: no blanks, no '+', no hexadecimal.
std::optional<std::int32_t> ParseDecimal(std::string_view text) {
  std::int32_t value = 0;
  const auto* const end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
  return value;
}

// The one value of key among the pairs, or nothing when it is missing or given twice.
std::optional<std::string_view> OnlyValue(const std::vector<QueryPair>& pairs, std::string_view key) {
  std::optional<std::string_view> found;
  for (const auto& pair : pairs) {
    if (pair.key != key) continue;
    if (found) return std::nullopt;
    found = pair.value;
  }
  return found;
}

// A target naming the status operation with s=r is a stop request, whatever else is wrong with it; it stops the
// server only when it carries exactly operation, s, t and u, once each, and u checks out against t.
RequestKind ClassifyStop(std::string_view target) {
  const auto question = target.find('?');
  if (question == std::string_view::npos || target.substr(0, question) != "/app") return RequestKind::NotFound;
  const auto pairs = SplitQuery(target.substr(question + 1));

  const auto operation = OnlyValue(pairs, "operation");
  const auto s = OnlyValue(pairs, "s");
  if (!operation || *operation != "ws" || !s || *s != "r") return RequestKind::NotFound;

  for (const auto& pair : pairs) {
    if (pair.key != "operation" && pair.key != "s" && pair.key != "t" && pair.key != "u")
      return RequestKind::RefusedStop;
  }
  const auto tText = OnlyValue(pairs, "t");
  const auto uText = OnlyValue(pairs, "u");
  if (!tText || !uText) return RequestKind::RefusedStop;
  const auto t = ParseDecimal(*tText);
  const auto u = ParseDecimal(*uText);
  if (!t || !u || !StopTokenChecks(*t, *u)) return RequestKind::RefusedStop;
  return RequestKind::Stop;
}

} // namespace

std::size_t FindHeadEnd(std::string_view data) {
  // The blank line is an LF followed by an optional CR and another LF.
  for (auto lf = data.find('\n'); lf != std::string_view::npos; lf = data.find('\n', lf + 1)) {
    auto next = lf + 1;
    if (next < data.size() && data[next] == '\r') ++next;
    if (next < data.size() && data[next] == '\n') return next + 1;
  }
  return std::string_view::npos;
}

RequestKind ClassifyRequest(std::string_view head) {
  auto line = head.substr(0, head.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

  // METHOD SP target SP HTTP/version, single blanks, nothing empty.
  const auto sp1 = line.find(' ');
  if (sp1 == std::string_view::npos || sp1 == 0) return RequestKind::Malformed;
  const auto sp2 = line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || sp2 == sp1 + 1) return RequestKind::Malformed;
  const auto method = line.substr(0, sp1);
  const auto target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  const auto version = line.substr(sp2 + 1);
  if (version.find(' ') != std::string_view::npos || !version.starts_with("HTTP/")) return RequestKind::Malformed;

  if (method != "GET") return RequestKind::NotFound;
  if (target == kStatusPath) return RequestKind::Status;
  return ClassifyStop(target);
}

std::string StatusBody(std::string_view runningSince) {
  std::string body = "<status><";
  body.append(kRunningSinceTag).append(">").append(runningSince).append("</").append(kRunningSinceTag);
  body.append("></status>");
  return body;
}

std::string HttpResponse(int code, std::string_view reason, std::string_view contentType, std::string_view body) {
  std::string response = "HTTP/1.1 ";
  response.append(std::to_string(code)).append(" ").append(reason).append("\r\n");
  response.append("Content-Type: ").append(contentType).append("\r\n");
  response.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
  response.append("Connection: close\r\n\r\n");
  response.append(body);
  return response;
}

} // namespace tsm::standin
