// PanelHealth: what a test needs to say that a running panel is still well while something hostile goes on
// around it. Whether its window answers (and how slowly at worst), how many threads, handles and how much memory its
// process holds. Everything is read from outside, through the system, like PanelDriver (whose StatusText reads the
// status line at any length).
//
//   tsm::test::HealthWatch watch(panel);
//   ASSERT_TRUE(watch.Until([&] { return panel.StatusText() != "Checking status"; }, 30000));
//   EXPECT_EQ(watch.Unanswered(), 0);
//   std::printf("worst round trip %lu ms\n", watch.WorstRoundTripMs());
#pragma once

#include "support/PanelDriver.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tsm::test {

// A window that has not answered in this long is hung, not slow: a probe must never hold the window at all, but on
// a loaded machine a round trip can take long without anything being wrong. How fast it answers is the benchmark's
// business (scripts/bench.sh), which reports the worst round trip.
inline constexpr DWORD kAnswerBoundMs = 10000;
// Between two looks at the panel while watching it.
inline constexpr DWORD kWatchIntervalMs = 50;

// Threads of the process at this moment (Toolhelp snapshot); nothing when no snapshot can be taken.
[[nodiscard]] std::optional<std::size_t> CountThreads(DWORD processId);

// Kernel handles the process holds at this moment (the system's handle table, which Wine keeps as well; Wine's
// GetProcessHandleCount always says 0); nothing when the table cannot be read.
[[nodiscard]] std::optional<std::size_t> CountHandles(DWORD processId);

// Private bytes the process has committed now, and the most it ever had; nothing when it cannot be asked.
struct MemoryUse {
  std::uint64_t privateBytes = 0;
  std::uint64_t peakPrivateBytes = 0;
};
[[nodiscard]] std::optional<MemoryUse> ProcessMemory(DWORD processId);

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
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
      Look();
      if (done()) return true;
      if (GetTickCount64() >= deadline) return false;
      Sleep(kWatchIntervalMs);
    }
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

} // namespace tsm::test
