// Running the stand-in server (TorvaleServer.exe) for real in tests: plain loopback exchanges with it, and its
// answers taken apart. Its folder is a ScratchFolder, its process a ChildProcess, its port a FreePort, its
// configuration a ConfigWithPort written with WriteConfig, and what its run script starts is found with a
// ProcessSweep (all in TestSupport.h). Every wait is bounded; nothing here throws.
#pragma once

#include "support/TestSupport.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tsm::test {

// The path in double quotes, as a command line or a service's binary path wants a path with blanks.
[[nodiscard]] std::string Quoted(const std::filesystem::path& path);

// Polls until the port accepts connections; false on timeout, or at once when process (if given) has ended.
[[nodiscard]] bool WaitUntilListening(std::int32_t port, HANDLE process = nullptr, DWORD timeoutMs = kStartBoundMs);

// Connects to 127.0.0.1:port, sends request as it is, and collects what comes back until the server closes or
// timeoutMs passes. Empty when no connection could be made.
[[nodiscard]] std::string RawExchange(std::int32_t port, std::string_view request, DWORD timeoutMs = kStartBoundMs);

// The parts of one HTTP answer. (HttpAnswer, in LocalHttpServer.h, makes one.)
struct ResponseParts {
  std::string statusLine;
  std::string headers; // the header lines, each ending in CRLF
  std::string body;
  bool complete = false; // a blank line ended the head
};
[[nodiscard]] ResponseParts SplitAnswer(std::string_view response);
// The value of a header (first match, name compared without case), or nothing.
[[nodiscard]] std::optional<std::string> HeaderValue(const ResponseParts& answer, std::string_view name);

// "YYYY-MM-DD hh:mm:ss" as a FILETIME count (100 ns units), or nothing when the text is not of that form.
[[nodiscard]] std::optional<std::uint64_t> ParseLocalTimestamp(std::string_view text);
// When the process started, in local time as a FILETIME count.
[[nodiscard]] std::optional<std::uint64_t> ProcessStartLocal(HANDLE process);
inline constexpr std::uint64_t kFileTimeSecond = 10'000'000;

} // namespace tsm::test
