// Reading a panel's health from outside: threads, handles, memory and round trips.
#include "support/PanelHealth.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace tsm::test {

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
