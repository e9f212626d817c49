#include "support/StandInHarness.h"

#include <ws2tcpip.h>
#include <tlhelp32.h>

#include <atomic>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace tsm::test {

namespace {

constexpr DWORD kPollMs = 50;

// A socket for the scope of one helper.
class Socket {
public:
  Socket() : s_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
  ~Socket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  [[nodiscard]] SOCKET Get() const { return s_; }
  explicit operator bool() const { return s_ != INVALID_SOCKET; }

private:
  SOCKET s_;
};

// A kernel handle for the scope of one helper.
class Handle {
public:
  explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~Handle() {
    if (h_) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  [[nodiscard]] HANDLE Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

private:
  HANDLE h_;
};

sockaddr_in Loopback(std::int32_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

[[nodiscard]] bool Connect(const Socket& s, std::int32_t port) {
  const auto address = Loopback(port);
  return connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// Every process whose executable path starts with folder's, with its id.
std::vector<DWORD> ProcessesIn(const fs::path& folder) {
  std::vector<DWORD> found;
  std::string prefix = fs::absolute(folder).string();
  if (!prefix.empty() && prefix.back() != '\\') prefix.push_back('\\');

  const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
    const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process) continue;
    char image[MAX_PATH * 2];
    DWORD length = sizeof image;
    if (!QueryFullProcessImageNameA(process.Get(), 0, image, &length)) continue;
    if (length >= prefix.size() &&
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, image, static_cast<int>(prefix.size()), prefix.c_str(),
                       static_cast<int>(prefix.size())) == CSTR_EQUAL)
      found.push_back(entry.th32ProcessID);
  }
  return found;
}

} // namespace

WinsockScope::WinsockScope() {
  WSADATA data{};
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockScope::~WinsockScope() {
  if (started_) WSACleanup();
}

TempFolder::TempFolder(std::string_view tag) {
  static std::atomic<unsigned> counter{0};
  path_ = fs::temp_directory_path() /
          ("tsm " + std::string(tag) + " " + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempFolder::~TempFolder() {
  // A process that has only just ended may still hold its executable for a moment.
  for (int attempt = 0; attempt < 50; ++attempt) {
    std::error_code error;
    fs::remove_all(path_, error);
    if (!error) return;
    Sleep(100);
  }
}

WorkingFolderScope::WorkingFolderScope(const fs::path& folder) {
  char previous[MAX_PATH * 2];
  const DWORD length = GetCurrentDirectoryA(sizeof previous, previous);
  if (length == 0 || length >= sizeof previous) return;
  previous_.assign(previous, length);
  entered_ = SetCurrentDirectoryA(folder.string().c_str()) != FALSE;
}

WorkingFolderScope::~WorkingFolderScope() {
  if (entered_) SetCurrentDirectoryA(previous_.c_str());
}

ChildProcess::ChildProcess(const fs::path& exe, const fs::path& workingFolder) {
  std::string commandLine = Quoted(exe);
  const std::string folder = workingFolder.string();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(),
                      &startup, &info))
    return;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
}

ChildProcess::~ChildProcess() {
  if (!process_) return;
  if (Running()) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, kServerTimeoutMs);
  }
  CloseHandle(process_);
}

bool ChildProcess::Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) const {
  if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
  return code;
}

std::string Quoted(const fs::path& path) {
  // Appended piece by piece: GCC 12 warns wrongly about "literal" + std::string&& here.
  std::string quoted(1, '"');
  quoted.append(path.string()).push_back('"');
  return quoted;
}

fs::path BinFolder() {
  char path[MAX_PATH * 2];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) throw std::runtime_error("cannot find the test executable's path");
  return fs::path(std::string(path, length)).parent_path();
}

fs::path ServerExe() { return BinFolder() / "TorvaleServer.exe"; }

void WriteTextFile(const fs::path& path, std::string_view text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadTextFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ConfigWithPort(std::string_view port) {
  std::string text = "<?xml version=\"1.0\"?>\r\n<configuration>\r\n  <server>\r\n    <parameters>\r\n"
                     "      <parameter name=\"httpPort\" value=\"";
  text.append(port).append("\"/>\r\n    </parameters>\r\n  </server>\r\n</configuration>\r\n");
  return text;
}

std::string ConfigWithPort(std::int32_t port) { return ConfigWithPort(std::to_string(port)); }

std::int32_t FreeLoopbackPort() {
  const Socket s;
  if (!s) return 0;
  auto address = Loopback(0);
  if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 0;
  int size = sizeof address;
  if (getsockname(s.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
  return ntohs(address.sin_port);
}

bool AcceptsConnections(std::int32_t port) {
  const Socket s;
  return s && Connect(s, port);
}

bool WaitUntilListening(std::int32_t port, HANDLE process, DWORD timeoutMs) {
  const auto deadline = GetTickCount64() + timeoutMs;
  while (true) {
    if (AcceptsConnections(port)) return true;
    if (process && WaitForSingleObject(process, 0) != WAIT_TIMEOUT) return false;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPollMs);
  }
}

bool WaitUntilRefused(std::int32_t port, DWORD timeoutMs) {
  const auto deadline = GetTickCount64() + timeoutMs;
  while (true) {
    if (!AcceptsConnections(port)) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPollMs);
  }
}

std::string RawExchange(std::int32_t port, std::string_view request, DWORD timeoutMs) {
  const Socket s;
  if (!s || !Connect(s, port)) return {};
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

HttpAnswer SplitAnswer(std::string_view response) {
  HttpAnswer answer;
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

std::optional<std::string> HeaderValue(const HttpAnswer& answer, std::string_view name) {
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

std::size_t CountProcessesIn(const fs::path& folder) { return ProcessesIn(folder).size(); }

void EndProcessesIn(const fs::path& folder) {
  for (const DWORD id : ProcessesIn(folder)) {
    const Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (!process) continue;
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), kServerTimeoutMs);
  }
}

} // namespace tsm::test
