// Reading another process's threads, handles, GUI objects and memory, and watching a panel's window answer.
#include "support/ProcessGauge.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

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

// The system's extended handle table: a count, then one entry per handle of every process.
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

void PrintCount(std::ostream& out, const char* name, const std::optional<DWORD>& count) {
  out << ", " << name << ' ';
  if (count)
    out << *count;
  else
    out << "n/a";
}

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
    std::size_t count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i)
      if (table->entries[i].processId == processId) ++count;
    if (count == 0) return std::nullopt;
    return count;
  }
  return std::nullopt;
}

std::optional<MemoryUse> ProcessMemory(DWORD processId) {
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process.Valid()) return std::nullopt;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
    return std::nullopt;
  // Older systems leave PrivateUsage at 0; PagefileUsage counts the same commit charge there.
  const std::uint64_t now = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
  return MemoryUse{now, std::max<std::uint64_t>(now, counters.PeakPagefileUsage), counters.WorkingSetSize};
}

// ---- ProcessGauge -----------------------------------------------------------------------------------------------

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
  const auto count = CountThreads(processId_);
  if (!count) Fail("cannot take a thread snapshot");
  return *count;
}

Footprint ProcessGauge::Read() const {
  Footprint f;
  f.threads = Threads();
  if (const auto handles = CountHandles(processId_)) f.handles = static_cast<DWORD>(*handles);
  f.gdiObjects = GuiObjects(process_.Get(), GR_GDIOBJECTS);
  f.userObjects = GuiObjects(process_.Get(), GR_USEROBJECTS);
  const auto memory = ProcessMemory(processId_);
  if (!memory) Fail("cannot read the memory counters of process " + std::to_string(processId_));
  f.privateBytes = memory->privateBytes;
  f.workingSetBytes = memory->workingSetBytes;
  return f;
}

std::optional<Footprint> ProcessGauge::ReadSettled(DWORD quietMs, DWORD timeoutMs) const {
  std::size_t last = Threads();
  ULONGLONG since = GetTickCount64();
  const bool settled = WaitUntil(
      [&] {
        const ULONGLONG now = GetTickCount64();
        if (const std::size_t count = Threads(); count != last) {
          last = count;
          since = now;
        }
        return now - since >= quietMs;
      },
      timeoutMs);
  if (!settled) return std::nullopt;
  return Read();
}

bool ProcessGauge::WaitForThreadsAtMost(std::size_t count, DWORD timeoutMs) const {
  return WaitUntil([&] { return Threads() <= count; }, timeoutMs, kFastPollMs);
}

// ---- HealthWatch ------------------------------------------------------------------------------------------------

std::optional<DWORD> RoundTripMs(HWND window, DWORD boundMs) {
  const ULONGLONG start = GetTickCount64();
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, boundMs, &ignored)) return std::nullopt;
  return static_cast<DWORD>(GetTickCount64() - start);
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

// ---- Environment ------------------------------------------------------------------------------------------------

std::size_t CountFromEnvironment(const char* name, std::size_t fallback) {
  const char* value = std::getenv(name);
  if (!value || *value < '0' || *value > '9') return fallback;
  char* end = nullptr;
  const unsigned long long count = std::strtoull(value, &end, 10);
  if (*end != '\0' || count == 0) return fallback;
  return static_cast<std::size_t>(count);
}

std::size_t IdleThreads(const ProcessGauge& gauge) {
  const auto idle = gauge.ReadSettled();
  if (!idle) throw std::runtime_error("the panel's threads never settled after its start");
  return idle->threads;
}

bool TickAndLetItEnd(const PanelDriver& panel, const ProcessGauge& gauge, std::size_t idleThreads, DWORD timeoutMs) {
  panel.Tick();
  return gauge.WaitForThreadsAtMost(idleThreads, timeoutMs);
}

} // namespace tsm::test
