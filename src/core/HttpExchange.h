// One HTTP GET over an already open connection: the two sends and the read loop, free of any socket API so that
// the same loop runs against Winsock in the panel and against a scripted fake in the native tests.
#pragma once

#include "core/HttpRequest.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

namespace tsm {

inline constexpr int kHttpWaitMs = 2000;        // silence that counts as the end of the answer
inline constexpr int kHttpReadTimeoutMs = 2000; // bound on one read once data is signalled
inline constexpr std::size_t kHttpChunkSize = 1024;
inline constexpr int kHttpChunkLimit = 2000; // so at most about 2 MB of answer

// Bounds on a whole exchange, connection included. The stop request runs on the window's thread, which Windows calls
// "Not Responding" after 5 s without messages; a little under that leaves room for the connection and the lookup.
// The probe's worker may take longer, but ends before the next tick's probe starts 10 s later, so that probes
// against a server that trickles its answer never pile up; the 2-s silence that ends a normal answer fits in either.
inline constexpr std::int64_t kStopExchangeBoundMs = 4500;
inline constexpr std::int64_t kProbeExchangeBoundMs = 8000;
inline constexpr std::int64_t kNoExchangeBound = INT64_MAX; // for callers that bound nothing but by the rules above

// What the exchange needs from a connection. Socket errors are thrown (as std::exception); the rest is in the
// return values.
//   Send(bytes)         hands the bytes over once and returns how many were taken, which may be fewer.
//   WaitReadable(ms)    true once data (or the peer's close) is waiting; false on time-out or a failed wait.
//   Read(buffer, size)  at most size bytes; 0 when the peer has closed or the read timed out.
//   NowMs()             a steady clock in milliseconds, on which the exchange's deadline is given.
template <class S>
concept HttpConnection = requires(S& s, std::string_view bytes, int ms, char* buffer, std::size_t size) {
  { s.Send(bytes) } -> std::convertible_to<std::size_t>;
  { s.WaitReadable(ms) } -> std::same_as<bool>;
  { s.Read(buffer, size) } -> std::convertible_to<std::size_t>;
  { s.NowMs() } -> std::convertible_to<std::int64_t>;
};

// How long the next wait for data may be: the silence that ends an answer, cut to what is left before the deadline;
// 0 once it has passed, and the answer ends there.
[[nodiscard]] constexpr int HttpWaitBeforeMs(std::int64_t deadlineMs, std::int64_t nowMs) noexcept {
  if (nowMs >= deadlineMs) return 0;
  return deadlineMs - nowMs < kHttpWaitMs ? static_cast<int>(deadlineMs - nowMs) : kHttpWaitMs;
}

// Only the low 16 bits of the caller's port reach the connection; the rest is dropped, not checked.
[[nodiscard]] constexpr std::uint16_t PortOnTheWire(std::int32_t port) noexcept {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(port) & 0xFFFFu);
}

// Sends the request for path and collects the answer: true with everything received (possibly nothing), or false
// with an empty response once any socket error was thrown, whether by a send or by a read after the answer began.
// A short send is not repeated: the server gets what the connection took. The answer ends at the first 0-byte read,
// after kHttpWaitMs of silence (a server that keeps the connection open ends it only this way), after
// kHttpChunkLimit reads, or at deadlineMs on the connection's clock, whatever the server still sends: no wait goes
// past it. The answer is kept as text, so a NUL ends the text of the chunk it occurs in; later chunks are still
// appended.
template <HttpConnection S>
[[nodiscard]] bool RunHttpExchange(S& connection, std::string_view path, std::string& response,
                                   std::int64_t deadlineMs) {
  response.clear();
  try {
    static_cast<void>(connection.Send(HttpRequestLine(path)));
    static_cast<void>(connection.Send(kHttpHostLines));
    char chunk[kHttpChunkSize];
    for (int reads = 0; reads < kHttpChunkLimit; ++reads) {
      const int wait = HttpWaitBeforeMs(deadlineMs, connection.NowMs());
      if (wait == 0 || !connection.WaitReadable(wait)) break;
      std::size_t got = connection.Read(chunk, sizeof chunk);
      if (got == 0) break;
      if (got > sizeof chunk) got = sizeof chunk;
      const void* nul = std::memchr(chunk, '\0', got);
      response.append(chunk, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - chunk) : got);
    }
    return true;
  } catch (const std::exception&) {
    response.clear();
    return false;
  }
}

} // namespace tsm
