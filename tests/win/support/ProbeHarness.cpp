#include "support/ProbeHarness.h"

#include "Socket.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <charconv>
#include <memory>
#include <stdexcept>

namespace tsm::test::probe {
namespace {

constexpr DWORD kEndWaitMs = 10000;

sockaddr_in Loopback(std::int32_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  return address;
}

// A path as the system spells it in full: GetTempPath may hand out short names, an image path does not.
std::string LongPath(const std::string& path) {
  char full[MAX_PATH] = {};
  const DWORD n = GetLongPathNameA(path.c_str(), full, MAX_PATH);
  return (n == 0 || n >= MAX_PATH) ? path : std::string(full, n);
}

bool SamePath(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The running processes started from imagePath, opened so that they can be ended and waited for.
std::vector<UniqueHandle> ProcessesOf(const std::string& imagePath) {
  std::vector<UniqueHandle> found;
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return found;
  const std::string wanted = LongPath(imagePath);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (!process.Valid()) continue;
    char image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameA(process.Get(), 0, image, &size)) continue;
    if (SamePath(LongPath(std::string(image, size)), wanted) && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT)
      found.push_back(std::move(process));
  }
  return found;
}

struct TooltipSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindTooltip(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<TooltipSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char name[64] = {};
  if (pid != search->processId || !GetClassNameA(hwnd, name, sizeof name) || lstrcmpiA(name, TOOLTIPS_CLASSA) != 0)
    return TRUE;
  search->found = hwnd;
  return FALSE;
}

// Memory in another process, for a message whose pointers the system does not marshal.
class RemoteMemory {
public:
  RemoteMemory(HANDLE process, std::size_t size)
      : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~RemoteMemory() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  [[nodiscard]] char* Get() const { return static_cast<char*>(address_); }

private:
  HANDLE process_;
  void* address_;
};

} // namespace

std::optional<std::string> ToolHint(const PanelDriver& panel, int id) {
  constexpr std::size_t kTextSize = 1024;
  const HWND control = panel.Control(id);
  TooltipSearch search{panel.ProcessId(), nullptr};
  EnumWindows(FindTooltip, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return std::nullopt;
  const UniqueHandle process(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, panel.ProcessId()));
  if (!process.Valid()) return std::nullopt;
  const RemoteMemory remote(process.Get(), sizeof(TOOLINFOA) + kTextSize);
  if (!remote.Get()) return std::nullopt;

  // A tool is known by the window it was registered with and its id; try the control's parent, then the window.
  for (const HWND owner : {GetParent(control), panel.Window()}) {
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = remote.Get() + sizeof tool;
    const char nothing = '\0';
    if (!WriteProcessMemory(process.Get(), remote.Get(), &tool, sizeof tool, nullptr) ||
        !WriteProcessMemory(process.Get(), tool.lpszText, &nothing, 1, nullptr))
      return std::nullopt;
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(search.found, TTM_GETTEXTA, kTextSize, reinterpret_cast<LPARAM>(remote.Get()), SMTO_NORMAL,
                             10000, &ignored))
      return std::nullopt;
    std::string text(kTextSize, '\0');
    if (!ReadProcessMemory(process.Get(), tool.lpszText, text.data(), text.size(), nullptr)) return std::nullopt;
    text.resize(text.find('\0'));
    if (!text.empty()) return text;
  }
  return std::nullopt;
}

bool WaitForStatus(const PanelDriver& panel, const std::string& want) {
  return WaitUntil([&] { return panel.StatusText() == want; });
}

std::string SinceAnswer(const std::string& since) { return HttpAnswer("<runningSince>" + since + "</runningSince>"); }

std::int32_t FreeLoopbackPort() {
  const WinsockSession winsock;
  UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid()) throw std::runtime_error("no socket for a free port");
  sockaddr_in address = Loopback(0);
  if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot bind a free port");
  int length = sizeof address;
  if (getsockname(s.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot read back a free port");
  return ntohs(address.sin_port);
}

bool AcceptsConnections(std::int32_t port) {
  const WinsockSession winsock;
  UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid()) return false;
  const sockaddr_in address = Loopback(port);
  return connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

std::string ConfigXml(const std::vector<ConfigParameter>& parameters) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration>\r\n  <server>\r\n"
                    "    <parameters>\r\n";
  for (const ConfigParameter& p : parameters) {
    xml += "      <parameter";
    if (p.name) xml += " name=\"" + *p.name + "\"";
    if (p.value) xml += " value=\"" + *p.value + "\"";
    xml += "/>\r\n";
  }
  xml += "    </parameters>\r\n  </server>\r\n</configuration>\r\n";
  return xml;
}

std::string ConfigWithPort(std::int32_t port) { return ConfigXml({{"httpPort", std::to_string(port)}}); }

void WriteConfig(const ScratchFolder& folder, const std::string& xml) { folder.Write("config\\AppConfig.xml", xml); }

std::string SystemMessage(DWORD code) {
  char* raw = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&raw), 0, nullptr);
  if (length == 0 || !raw) return {};
  const std::unique_ptr<char, decltype(&LocalFree)> buffer(raw, &LocalFree);
  return std::string(buffer.get(), length);
}

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

// ---- ChildProcess -----------------------------------------------------------------------------------------------

ChildProcess::ChildProcess(const std::string& exe, const std::string& workingFolder) {
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      workingFolder.c_str(), &startup, &info))
    throw std::runtime_error("cannot start " + exe + " (error " + std::to_string(GetLastError()) + ")");
  process_.Reset(info.hProcess);
  const UniqueHandle thread(info.hThread);
}

ChildProcess::~ChildProcess() {
  if (!Running()) return;
  TerminateProcess(process_.Get(), 1);
  WaitForSingleObject(process_.Get(), kEndWaitMs);
}

bool ChildProcess::Running() const {
  return process_.Valid() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) const {
  if (!process_.Valid() || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.Get(), &code)) return std::nullopt;
  return code;
}

// ---- ImageProcessSweep ------------------------------------------------------------------------------------------

std::size_t ImageProcessSweep::Count() const { return ProcessesOf(imagePath_).size(); }

std::size_t ImageProcessSweep::EndAll() const {
  const std::vector<UniqueHandle> processes = ProcessesOf(imagePath_);
  for (const UniqueHandle& p : processes) TerminateProcess(p.Get(), 1);
  for (const UniqueHandle& p : processes) WaitForSingleObject(p.Get(), kEndWaitMs);
  return processes.size();
}

} // namespace tsm::test::probe
