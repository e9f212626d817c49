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

// What the exchange needs from a connection. Socket errors are thrown (as std::exception); the rest is in the
// return values.
//   Send(bytes)         hands the bytes over once and returns how many were taken, which may be fewer.
//   WaitReadable(ms)    true once data (or the peer's close) is waiting; false on time-out or a failed wait.
//   Read(buffer, size)  at most size bytes; 0 when the peer has closed or the read timed out.
template <class S>
concept HttpConnection = requires(S& s, std::string_view bytes, int ms, char* buffer, std::size_t size) {
  { s.Send(bytes) } -> std::convertible_to<std::size_t>;
  { s.WaitReadable(ms) } -> std::same_as<bool>;
  { s.Read(buffer, size) } -> std::convertible_to<std::size_t>;
};

// Only the low 16 bits of the caller's port reach the connection; the rest is dropped, not checked.
[[nodiscard]] constexpr std::uint16_t PortOnTheWire(std::int32_t port) noexcept {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(port) & 0xFFFFu);
}

// Sends the request for path and collects the answer: true with everything received (possibly nothing), or false
// with an empty response once any socket error was thrown, whether by a send or by a read after the answer began.
// A short send is not repeated: the server gets what the connection took. The answer ends at the first 0-byte read,
// after kHttpWaitMs of silence (a server that keeps the connection open ends it only this way) or after
// kHttpChunkLimit reads. The answer is kept as text, so a NUL ends the text of the chunk it occurs in; later chunks
// are still appended.
template <HttpConnection S>
[[nodiscard]] bool RunHttpExchange(S& connection, std::string_view path, std::string& response) {
  response.clear();
  try {
    static_cast<void>(connection.Send(HttpRequestLine(path)));
    static_cast<void>(connection.Send(kHttpHostLines));
    char chunk[kHttpChunkSize];
    for (int reads = 0; reads < kHttpChunkLimit && connection.WaitReadable(kHttpWaitMs); ++reads) {
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
