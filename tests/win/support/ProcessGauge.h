// ProcessGauge: what another process holds right now (threads, handles, GUI objects, memory), read from outside
// through the system's own accounting, for tests and benchmarks that look for growth over many operations.
//
//   ProcessGauge gauge(panel.ProcessId());
//   const auto before = gauge.ReadSettled();   // once the workers have gone
//   ... a thousand ticks ...
//   const auto after = gauge.ReadSettled();
//
// A figure the system does not keep is left empty rather than read as zero: Wine answers GetGuiResources with 0
// for every process, and a process with a window always holds some USER objects on Windows.
#pragma once

#include "support/PanelDriver.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace tsm::test {

struct Footprint {
  std::size_t threads = 0;
  std::optional<DWORD> handles;
  std::optional<DWORD> gdiObjects;
  std::optional<DWORD> userObjects;
  std::uint64_t privateBytes = 0; // committed private memory (PrivateUsage)
  std::uint64_t workingSetBytes = 0;
};
std::ostream& operator<<(std::ostream& out, const Footprint& f);

class ProcessGauge {
public:
  // Opens the process for querying; throws std::runtime_error when it cannot.
  explicit ProcessGauge(DWORD processId);

  [[nodiscard]] DWORD ProcessId() const { return processId_; }
  // Threads of the process, from a Toolhelp snapshot.
  [[nodiscard]] std::size_t Threads() const;
  // Everything at once. Throws when the memory counters cannot be read (the process has gone, say).
  [[nodiscard]] Footprint Read() const;
  // Waits until the thread count has not changed for quietMs (workers still finishing have gone), then reads.
  // Empty when the count keeps moving for timeoutMs.
  [[nodiscard]] std::optional<Footprint> ReadSettled(DWORD quietMs = 500, DWORD timeoutMs = kDefaultWaitMs) const;
  // Polls (every millisecond or so) until at most `count` threads are left; false after timeoutMs.
  [[nodiscard]] bool WaitForThreadsAtMost(std::size_t count, DWORD timeoutMs = kDefaultWaitMs) const;

private:
  DWORD processId_;
  UniqueHandle process_;
};

// The panel's threads once they have settled after its start (its first probe over); throws when they never do.
// A probe has ended when the count is back there: the barrier for checks that a probe showed, asked or wrote
// nothing, which no fixed wait could make on a loaded machine.
[[nodiscard]] std::size_t IdleThreads(const ProcessGauge& gauge);

// One tick, then waits until its probe, and any the panel's own timer started meanwhile, has ended; false when
// they have not after timeoutMs.
[[nodiscard]] bool TickAndLetItEnd(const PanelDriver& panel, const ProcessGauge& gauge, std::size_t idleThreads,
                                   DWORD timeoutMs = kDefaultWaitMs);

// A loopback TCP port that nothing listens on at the moment of the call: bound to port 0, read back, closed.
// Throws when no socket can be had.
[[nodiscard]] std::int32_t FreeLoopbackPort();

// The server's configuration, naming `port` as its HTTP port, written to <folder>\config\AppConfig.xml.
void WriteServerConfig(const ScratchFolder& folder, std::int32_t port);

// Whether the panel's status bar reads `text` within timeoutMs. Polls far more often than WaitUntil does, so that
// a loop paced on it runs at the panel's speed, not the poll's.
[[nodiscard]] bool WaitForStatus(const PanelDriver& panel, const std::string& text, DWORD timeoutMs = kDefaultWaitMs);

// The status bar's text once it differs from `from`, or nothing when it still reads `from` after timeoutMs.
[[nodiscard]] std::optional<std::string> WaitForStatusChange(const PanelDriver& panel, const std::string& from,
                                                             DWORD timeoutMs = kDefaultWaitMs);

// A whole number from the environment, or fallback when the variable is unset, empty or not a positive number.
[[nodiscard]] std::size_t CountFromEnvironment(const char* name, std::size_t fallback);

} // namespace tsm::test
