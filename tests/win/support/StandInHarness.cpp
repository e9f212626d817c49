#include "support/StandInHarness.h"

#include "win32/Socket.h"

#include <ws2tcpip.h>

#include <cctype>
#include <charconv>
#include <vector>

namespace fs = std::filesystem;

namespace tsm::test {

std::string Quoted(const fs::path& path) {
  // Appended piece by piece: GCC 12 warns wrongly about "literal" + std::string&& here.
  std::string quoted(1, '"');
  quoted.append(path.string()).push_back('"');
  return quoted;
}

bool WaitUntilListening(std::int32_t port, HANDLE process, DWORD timeoutMs) {
  bool listening = false;
  (void)WaitUntil(
      [&] {
        return (listening = AcceptsConnections(port)) || (process && WaitForSingleObject(process, 0) != WAIT_TIMEOUT);
      },
      timeoutMs);
  return listening;
}

std::string RawExchange(std::int32_t port, std::string_view request, DWORD timeoutMs) {
  const UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid() || !ConnectLoopback(s.Get(), port)) return {};
  std::string_view rest = request;
  while (!rest.empty()) {
    const int sent = send(s.Get(), rest.data(), static_cast<int>(rest.size()), 0);
    if (sent <= 0) break; // the server may close on an over-long head before taking it all
    rest.remove_prefix(static_cast<std::size_t>(sent));
  }

  std::string response;
  const auto deadline = GetTickCount64() + timeoutMs;
  char buffer[4096];
  for (auto now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s.Get(), &readable);
    const auto wait = deadline - now;
    timeval tv{static_cast<long>(wait / 1000), static_cast<long>(wait % 1000 * 1000)};
    if (select(0, &readable, nullptr, nullptr, &tv) <= 0) break;
    const int got = recv(s.Get(), buffer, sizeof buffer, 0);
    if (got <= 0) break;
    response.append(buffer, static_cast<std::size_t>(got));
  }
  return response;
}

ResponseParts SplitAnswer(std::string_view response) {
  ResponseParts answer;
  const auto lineEnd = response.find("\r\n");
  answer.statusLine = std::string(response.substr(0, lineEnd));
  if (lineEnd == std::string_view::npos) return answer;
  const auto headEnd = response.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) {
    answer.headers = std::string(response.substr(lineEnd + 2));
    return answer;
  }
  answer.headers = std::string(response.substr(lineEnd + 2, headEnd + 2 - (lineEnd + 2)));
  answer.body = std::string(response.substr(headEnd + 4));
  answer.complete = true;
  return answer;
}

std::optional<std::string> HeaderValue(const ResponseParts& answer, std::string_view name) {
  std::string_view rest = answer.headers;
  while (!rest.empty()) {
    const auto end = rest.find("\r\n");
    const auto line = rest.substr(0, end);
    const auto colon = line.find(':');
    if (colon == name.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, line.data(), static_cast<int>(colon),
                                               name.data(), static_cast<int>(name.size())) == CSTR_EQUAL) {
      auto value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      return std::string(value);
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> ParseLocalTimestamp(std::string_view text) {
  // Fixed widths: 0000-00-00 00:00:00.
  constexpr std::string_view shape = "0000-00-00 00:00:00";
  if (text.size() != shape.size()) return std::nullopt;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (shape[i] == '0' ? !digit : text[i] != shape[i]) return std::nullopt;
  }
  const auto field = [&](std::size_t at, std::size_t width) {
    WORD value = 0;
    std::from_chars(text.data() + at, text.data() + at + width, value);
    return value;
  };
  SYSTEMTIME time{};
  time.wYear = field(0, 4);
  time.wMonth = field(5, 2);
  time.wDay = field(8, 2);
  time.wHour = field(11, 2);
  time.wMinute = field(14, 2);
  time.wSecond = field(17, 2);
  FILETIME file{};
  if (!SystemTimeToFileTime(&time, &file)) return std::nullopt;
  return (static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

std::optional<std::uint64_t> ProcessStartLocal(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{}, local{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
  if (!FileTimeToLocalFileTime(&created, &local)) return std::nullopt;
  return (static_cast<std::uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
}

} // namespace tsm::test
