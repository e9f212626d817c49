// ProcessGauge: what another process holds right now (threads, handles, GUI objects, memory), read from outside
// through the system's own accounting, and HealthWatch: whether a running panel is still well while something
// hostile goes on around it. For tests and benchmarks that look for growth over many operations, or for a window that
// stops answering.
//
//   ProcessGauge gauge(panel.ProcessId());
//   const auto before = gauge.ReadSettled();   // once the workers have gone
//   ... a thousand ticks ...
//   const auto after = gauge.ReadSettled();
//
//   HealthWatch watch(panel);
//   ASSERT_TRUE(watch.Until([&] { return panel.StatusText() != kCheckingStatus; }, kHostileBoundMs));
//   EXPECT_EQ(watch.Unanswered(), 0);
//
// There is one reader for each figure, and both share them. A figure the system does not keep is left empty rather
// than read as zero: Wine answers GetGuiResources with 0 for every process, and a process with a window always holds
// some USER objects on Windows.
#pragma once

#include "support/PanelDriver.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace tsm::test {

// Threads of the process at this moment (Toolhelp snapshot); nothing when no snapshot can be taken.
[[nodiscard]] std::optional<std::size_t> CountThreads(DWORD processId);

// Kernel handles the process holds at this moment, counted in the system's handle table, which Wine keeps as well
// (Wine's GetProcessHandleCount always says 0); nothing when the table cannot be read or lists none of the process's.
[[nodiscard]] std::optional<std::size_t> CountHandles(DWORD processId);

// The memory the process has committed: private bytes now (PrivateUsage) and the most it ever had, and its working
// set now; nothing when it cannot be asked.
struct MemoryUse {
  std::uint64_t privateBytes = 0;
  std::uint64_t peakPrivateBytes = 0;
  std::uint64_t workingSetBytes = 0;
};
[[nodiscard]] std::optional<MemoryUse> ProcessMemory(DWORD processId);

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
  // CountThreads, throwing when there is no snapshot.
  [[nodiscard]] std::size_t Threads() const;
  // Everything at once. Throws when the memory counters cannot be read (the process has gone, say).
  [[nodiscard]] Footprint Read() const;
  // Waits until the thread count has not changed for quietMs (workers still finishing have gone), then reads.
  // Empty when the count keeps moving for timeoutMs.
  [[nodiscard]] std::optional<Footprint> ReadSettled(DWORD quietMs = 500, DWORD timeoutMs = kEventBoundMs) const;
  // Polls (every millisecond or so) until at most `count` threads are left; false after timeoutMs.
  [[nodiscard]] bool WaitForThreadsAtMost(std::size_t count, DWORD timeoutMs = kEventBoundMs) const;

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
                                   DWORD timeoutMs = kEventBoundMs);

// Between two looks at the panel while watching it.
inline constexpr DWORD kWatchIntervalMs = 50;

// Milliseconds for a WM_NULL round trip to window's thread, or nothing when it did not answer within boundMs.
[[nodiscard]] std::optional<DWORD> RoundTripMs(HWND window, DWORD boundMs = kAnswerBoundMs);

// Watches a panel: between polls of a condition it sends WM_NULL round trips and keeps the worst one, the number
// that did not come back within kAnswerBoundMs, and the most memory the process was seen to hold.
class HealthWatch {
public:
  explicit HealthWatch(const PanelDriver& panel) : panel_(panel) {}
  HealthWatch(const HealthWatch&) = delete;
  HealthWatch& operator=(const HealthWatch&) = delete;

  // Polls done() until it returns true (then true) or timeoutMs has passed (then false), looking at the panel
  // before every poll.
  template <class Predicate> [[nodiscard]] bool Until(Predicate&& done, DWORD timeoutMs) {
    return WaitUntil(
        [&] {
          Look();
          return done();
        },
        timeoutMs, kWatchIntervalMs);
  }
  // Only looks, for durationMs.
  void For(DWORD durationMs) {
    static_cast<void>(Until([] { return false; }, durationMs));
  }
  // One look now: a round trip and a memory reading.
  void Look();

  [[nodiscard]] DWORD WorstRoundTripMs() const { return worst_; }
  [[nodiscard]] int RoundTrips() const { return roundTrips_; }
  [[nodiscard]] int Unanswered() const { return unanswered_; }
  [[nodiscard]] std::uint64_t MostPrivateBytes() const { return mostPrivate_; }

private:
  const PanelDriver& panel_;
  DWORD worst_ = 0;
  int roundTrips_ = 0;
  int unanswered_ = 0;
  std::uint64_t mostPrivate_ = 0;
};

// A whole number from the environment, or fallback when the variable is unset, empty or not a positive number.
[[nodiscard]] std::size_t CountFromEnvironment(const char* name, std::size_t fallback);

} // namespace tsm::test
