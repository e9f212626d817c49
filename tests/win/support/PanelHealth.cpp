// Reading a panel's health from outside: threads, memory, round trips and the full status line.
#include "support/PanelHealth.h"

#include "resource.h"

#include <winsock2.h>
#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tsm::test {
namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

// Memory committed in another process for one call, released when it goes.
class RemoteMemory {
public:
  RemoteMemory(HANDLE process, std::size_t size)
      : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~RemoteMemory() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  RemoteMemory(RemoteMemory&& other) noexcept
      : process_(other.process_), address_(std::exchange(other.address_, nullptr)) {}
  RemoteMemory& operator=(RemoteMemory&&) = delete;
  [[nodiscard]] void* Get() const { return address_; }

private:
  HANDLE process_;
  void* address_;
};

} // namespace

std::optional<std::size_t> CountThreads(DWORD processId) {
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.Valid()) return std::nullopt;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::size_t count = 0;
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == processId) ++count;
    entry.dwSize = sizeof entry;
  }
  return count;
}

std::optional<std::size_t> CountHandles(DWORD processId) {
  // SystemHandleInformation (16): a count, then one fixed-size entry per handle of every process.
  struct Entry {
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
  using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const auto query =
      ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")))
            : nullptr;
  if (!query) return std::nullopt;
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch && buffer.size() < (256u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return std::nullopt;
    break;
  }
  ULONG total = 0;
  std::memcpy(&total, buffer.data(), sizeof total);
  const std::size_t first = offsetof(Table, entries);
  std::size_t count = 0;
  for (std::size_t i = 0; i < total && first + (i + 1) * sizeof(Entry) <= buffer.size(); ++i) {
    Entry entry;
    std::memcpy(&entry, buffer.data() + first + i * sizeof(Entry), sizeof entry);
    if (entry.processId == processId) ++count;
  }
  return count;
}

std::optional<MemoryUse> ProcessMemory(DWORD processId) {
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process.Valid()) return std::nullopt;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process.Get(), &counters, sizeof counters)) return std::nullopt;
  return MemoryUse{counters.PagefileUsage, counters.PeakPagefileUsage};
}

std::optional<DWORD> RoundTripMs(HWND window, DWORD boundMs) {
  const ULONGLONG start = GetTickCount64();
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, boundMs, &ignored)) return std::nullopt;
  return static_cast<DWORD>(GetTickCount64() - start);
}

std::string FullStatusText(const PanelDriver& panel) {
  const HWND bar = panel.Control(IDC_STBMAIN);
  const UniqueHandle process(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, panel.ProcessId()));
  if (!process.Valid()) Fail("cannot open the panel's process (error " + std::to_string(GetLastError()) + ")");
  // SB_GETTEXT's buffer is not marshalled between processes, and the call writes the whole text whatever its
  // length: the buffer lives in the panel and has room for the longest line there can be.
  const std::size_t capacity = kLongestStatusLine + 1;
  const RemoteMemory remote(process.Get(), capacity);
  if (!remote.Get()) Fail("cannot allocate in the panel's process (error " + std::to_string(GetLastError()) + ")");
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutA(bar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(remote.Get()), SMTO_NORMAL, 10000, &ignored))
    Fail("no answer to SB_GETTEXT");
  std::string text(capacity, '\0');
  SIZE_T read = 0;
  if (!ReadProcessMemory(process.Get(), remote.Get(), text.data(), text.size(), &read))
    Fail("cannot read the panel's memory (error " + std::to_string(GetLastError()) + ")");
  text.resize(std::min<std::size_t>(text.find('\0'), read));
  return text;
}

std::int32_t FreePort() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) Fail("WSAStartup failed");
  struct Cleanup {
    ~Cleanup() { WSACleanup(); }
  } const cleanup;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) Fail("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  const bool bound = bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                     getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  closesocket(s);
  if (!bound) Fail("cannot bind a loopback socket");
  return ntohs(address.sin_port);
}

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void HealthWatch::Look() {
  ++roundTrips_;
  if (const auto ms = RoundTripMs(panel_.Window())) {
    worst_ = std::max(worst_, *ms);
  } else {
    ++unanswered_;
    worst_ = std::max(worst_, kAnswerBoundMs);
  }
  if (const auto memory = ProcessMemory(panel_.ProcessId()))
    mostPrivate_ = std::max({mostPrivate_, memory->privateBytes, memory->peakPrivateBytes});
}

} // namespace tsm::test
