// What the stand-in server makes of one request head, and the answers it writes. Nothing here touches the system.
#pragma once

#include <string>
#include <string_view>

namespace tsm::standin {

// The largest request head read; a longer one is refused rather than buffered.
inline constexpr std::size_t kMaxHeadBytes = 8192;

enum class RequestKind {
  Status,      // GET of exactly the status path
  Stop,        // a stop request whose u checks out against its t
  RefusedStop, // a stop request with a wrong, missing or malformed number
  NotFound,    // any other well-formed request
  Malformed,   // no sensible request line at all
};

// Where the head ends: the offset just past its blank line, or npos while it is incomplete. A bare LF is accepted
// as well as CRLF, so a hand-typed request works too.
[[nodiscard]] std::size_t FindHeadEnd(std::string_view data);

// Sorts one complete head by its request line; the header lines are not looked at.
[[nodiscard]] RequestKind ClassifyRequest(std::string_view head);

// The status document: <status><runningSince>since</runningSince></status>.
[[nodiscard]] std::string StatusBody(std::string_view runningSince);

// A complete answer that asks the client to close; the server closes right after it in any case.
[[nodiscard]] std::string HttpResponse(int code, std::string_view reason, std::string_view contentType,
                                       std::string_view body);

} // namespace tsm::standin
