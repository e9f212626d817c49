// Reading another process's footprint through Toolhelp, the handle count, GetGuiResources and the memory counters.
#include "support/ProcessGauge.h"

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "win32/Socket.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace tsm::test {
namespace {

constexpr DWORD kFastPollMs = 1;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

// Zero means "not kept" (Wine) or "failed"; either way there is nothing to compare.
std::optional<DWORD> GuiObjects(HANDLE process, DWORD kind) {
  const DWORD count = GetGuiResources(process, kind);
  if (count == 0) return std::nullopt;
  return count;
}

// Wine keeps no per-process handle count (GetProcessHandleCount gives 0) but does list every handle in the system,
// so the process's handles are counted there instead. The layout is the system's extended handle table.
struct HandleEntry {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG access;
  USHORT creatorBackTrace;
  USHORT objectType;
  ULONG attributes;
  ULONG reserved;
};
struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

std::optional<DWORD> HandlesInSystemTable(DWORD processId) {
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  // Through void*: a FARPROC does not cast to another function type without a warning.
  const auto query =
      ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")))
            : nullptr;
  if (!query) return std::nullopt;
  std::vector<std::byte> buffer(256 * 1024);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status =
        query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kStatusInfoLengthMismatch) {
      buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 64 * 1024));
      continue;
    }
    if (status < 0) return std::nullopt;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    DWORD count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i)
      if (table->entries[i].processId == processId) ++count;
    if (count == 0) return std::nullopt;
    return count;
  }
  return std::nullopt;
}

void PrintCount(std::ostream& out, const char* name, const std::optional<DWORD>& count) {
  out << ", " << name << ' ';
  if (count)
    out << *count;
  else
    out << "n/a";
}

} // namespace

std::ostream& operator<<(std::ostream& out, const Footprint& f) {
  out << "threads " << f.threads;
  PrintCount(out, "handles", f.handles);
  PrintCount(out, "GDI", f.gdiObjects);
  PrintCount(out, "USER", f.userObjects);
  return out << ", private " << f.privateBytes / 1024 << " KiB, working set " << f.workingSetBytes / 1024 << " KiB";
}

ProcessGauge::ProcessGauge(DWORD processId)
    : processId_(processId), process_(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId)) {
  if (!process_.Valid()) Fail("cannot open process " + std::to_string(processId));
}

std::size_t ProcessGauge::Threads() const {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.Valid()) Fail("cannot take a thread snapshot");
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::size_t count = 0;
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
    if (entry.th32OwnerProcessID == processId_) ++count;
  return count;
}

Footprint ProcessGauge::Read() const {
  Footprint f;
  f.threads = Threads();
  DWORD handles = 0;
  if (GetProcessHandleCount(process_.Get(), &handles) && handles != 0)
    f.handles = handles;
  else
    f.handles = HandlesInSystemTable(processId_);
  f.gdiObjects = GuiObjects(process_.Get(), GR_GDIOBJECTS);
  f.userObjects = GuiObjects(process_.Get(), GR_USEROBJECTS);

  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(process_.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
    Fail("cannot read the memory counters of process " + std::to_string(processId_));
  // Older systems leave PrivateUsage at 0; PagefileUsage counts the same commit charge there.
  f.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  f.workingSetBytes = memory.WorkingSetSize;
  return f;
}

std::optional<Footprint> ProcessGauge::ReadSettled(DWORD quietMs, DWORD timeoutMs) const {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::size_t last = Threads();
  ULONGLONG since = GetTickCount64();
  for (;;) {
    Sleep(kPollIntervalMs);
    const ULONGLONG now = GetTickCount64();
    const std::size_t count = Threads();
    if (count != last) {
      last = count;
      since = now;
    } else if (now - since >= quietMs) {
      return Read();
    }
    if (now >= deadline) return std::nullopt;
  }
}

bool ProcessGauge::WaitForThreadsAtMost(std::size_t count, DWORD timeoutMs) const {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (Threads() <= count) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kFastPollMs);
  }
}

std::int32_t FreeLoopbackPort() {
  const WinsockSession winsock;
  if (!winsock.Started()) throw std::runtime_error("Winsock did not start");
  const UniqueSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!probe.Valid()) throw SocketError("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) throw SocketError("bind");
  int length = sizeof address;
  if (getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) throw SocketError("getsockname");
  return ntohs(address.sin_port);
}

void WriteServerConfig(const ScratchFolder& folder, std::int32_t port) {
  folder.Write("config\\AppConfig.xml", "<?xml version=\"1.0\"?>\r\n"
                                        "<configuration><server><parameters>"
                                        "<parameter name=\"httpPort\" value=\"" +
                                            std::to_string(port) +
                                            "\"/>"
                                            "</parameters></server></configuration>\r\n");
}

bool WaitForStatus(const PanelDriver& panel, const std::string& text, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (panel.StatusText() == text) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kFastPollMs);
  }
}

std::optional<std::string> WaitForStatusChange(const PanelDriver& panel, const std::string& from, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    std::string text = panel.StatusText();
    if (text != from) return text;
    if (GetTickCount64() >= deadline) return std::nullopt;
    Sleep(kFastPollMs);
  }
}

std::size_t CountFromEnvironment(const char* name, std::size_t fallback) {
  const char* value = std::getenv(name);
  if (!value || *value < '0' || *value > '9') return fallback;
  char* end = nullptr;
  const unsigned long long count = std::strtoull(value, &end, 10);
  if (*end != '\0' || count == 0) return fallback;
  return static_cast<std::size_t>(count);
}

} // namespace tsm::test
