// The panel over many ticks and many closes, run for real under Wine through PanelDriver: what the process holds
// does not grow with the ticks, whether the server answers or is down, and closing the window while probes are still
// talking to a server neither crashes the panel nor hangs it.
//
// The bounds are slack on purpose and measure nothing: a leak of one thread or one handle per tick, or of a few KiB,
// overshoots them within the default count, which is the least that shows each of those (measured by leaking each
// from the probe on purpose). TSM_ENDURANCE_TICKS and TSM_ENDURANCE_CLOSES ask for a longer run: the soak test preset
// runs these cases at a thousand ticks.
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/ProcessGauge.h"
#include "support/CaseName.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <iostream>
#include <iterator>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

using namespace std::chrono_literals;
using namespace tsm::test;

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)

constexpr std::size_t kDefaultTicks = 200;
// Overlapping probes that each bring Winsock up and down leave a socket behind about once in a hundred under Wine
// (see below): a thousand leave about twelve, which the slack there tells from none all but surely; 500 did not.
constexpr std::size_t kDefaultOverlappingTicks = 1000;
constexpr std::size_t kDefaultCloses = 50;
constexpr std::size_t kWarmUpTicks = 50;
// With the server down every update reads alike and the refusal is immediate, so the loop is paced on the workers
// being gone instead, every so many ticks.
constexpr std::size_t kDownPace = 10;

constexpr std::size_t kThreadSlack = 3;
constexpr DWORD kHandleSlack = 50;
constexpr DWORD kGuiObjectSlack = 20;
constexpr std::uint64_t kMemorySlack = 1024 * 1024; // a thousand ticks grew it by 0.1 MiB

const std::string kRunningNumber = kRunningSince + std::string("#");
std::string Running(std::size_t probe) { return kRunningNumber + std::to_string(probe); }
// The connection number a running line carries, or nothing for any other text.
std::optional<unsigned long> ConnectionOf(const std::string& status) {
  if (status.rfind(kRunningNumber, 0) != 0) return std::nullopt;
  try {
    return std::stoul(status.substr(kRunningNumber.size()));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Each answer carries its connection's number as the running-since text, so one probe's update is told from the
// last one's.
void AnswerWithItsNumber(ServerConnection& c) {
  if (c.ReadRequest()) c.Send(HttpAnswer("<runningSince>#" + std::to_string(c.Index()) + "</runningSince>"));
  c.Close();
}

void ExpectNoGrowth(const char* what, const std::optional<DWORD>& before, const std::optional<DWORD>& after,
                    DWORD slack) {
  if (!before || !after) {
    std::cout << "[ note     ] " << what << ": not reported by this system (Wine), not compared\n";
    return;
  }
  EXPECT_LE(*after, *before + slack) << what << " grew from " << *before << " to " << *after;
}

// ---- Many ticks --------------------------------------------------------------------------------------------------

struct TickCase {
  const char* name;
  bool serverUp;
};

class PanelOverManyTicks : public testing::TestWithParam<TickCase> {};

TEST_P(PanelOverManyTicks, HoldsNoMoreAfterThemThanAfterWarmUp) {
  const bool up = GetParam().serverUp;
  std::optional<LocalHttpServer> server;
  if (up) server.emplace(AnswerWithItsNumber);
  const PanelInFolder panel(up ? server->Port() : FreePort());
  const ProcessGauge gauge(panel.ProcessId());

  // The panel's own 10-second timer fires too, now and then, so a tick's update is known only as a new text (each
  // answer carries a new number), not as a given number.
  std::size_t probe = 0;
  std::string status = up ? Running(0) : kNotRunning;
  ASSERT_TRUE(WaitForStatus(panel, status)) << "the first probe never reported";
  const auto idle = gauge.ReadSettled();
  ASSERT_TRUE(idle) << "the panel's threads never settled after start";

  const auto tick = [&] {
    panel.Tick();
    ++probe;
    if (!up) return probe % kDownPace != 0 || gauge.WaitForThreadsAtMost(idle->threads + kThreadSlack);
    const auto next = WaitForStatusChange(panel, status);
    if (!next || next->rfind(kRunningNumber, 0) != 0) return false;
    status = *next;
    return true;
  };

  for (std::size_t i = 0; i < kWarmUpTicks; ++i) ASSERT_TRUE(tick()) << "probe " << probe << " never finished";
  const auto before = gauge.ReadSettled();
  ASSERT_TRUE(before) << "the panel's threads never settled after the warm-up";

  const std::size_t ticks = CountFromEnvironment("TSM_ENDURANCE_TICKS", kDefaultTicks);
  for (std::size_t i = 0; i < ticks; ++i)
    ASSERT_TRUE(tick()) << "probe " << probe << " never finished; the status bar reads \"" << panel.StatusText()
                        << "\", the server took " << (up ? server->Connections() : 0) << " connections, the panel has "
                        << gauge.Threads() << " threads";
  const auto after = gauge.ReadSettled();
  ASSERT_TRUE(after) << "the panel's threads never settled after " << ticks << " ticks";

  std::cout << "[ measured ] at start:      " << *idle << "\n"
            << "[ measured ] after warm-up: " << *before << "\n"
            << "[ measured ] after " << ticks << " more: " << *after << "\n";
  EXPECT_LE(after->threads, before->threads + kThreadSlack);
  ExpectNoGrowth("handles", before->handles, after->handles, kHandleSlack);
  ExpectNoGrowth("GDI objects", before->gdiObjects, after->gdiObjects, kGuiObjectSlack);
  ExpectNoGrowth("USER objects", before->userObjects, after->userObjects, kGuiObjectSlack);
  EXPECT_LE(after->privateBytes, before->privateBytes + kMemorySlack)
      << "private memory grew by " << (after->privateBytes - before->privateBytes) / 1024 << " KiB";

  // Every probe still got through. The panel's own timer may have added a probe since the last one counted, so the
  // line on show is the last one seen or a later one; or the one just before it, when a probe of the timer's that
  // connected first took longer (probes are not ordered, and both saw the same running server).
  if (up) {
    EXPECT_GE(server->Connections(), probe + 1);
    const auto shown = ConnectionOf(panel.StatusText());
    ASSERT_TRUE(shown) << panel.StatusText();
    EXPECT_GE(*shown + 1, ConnectionOf(status).value_or(0)) << panel.StatusText() << " after " << status;
  } else {
    EXPECT_EQ(panel.StatusText(), kNotRunning);
  }
}

INSTANTIATE_TEST_SUITE_P(Endurance, PanelOverManyTicks,
                         testing::Values(TickCase{"ServerAnswering", true}, TickCase{"ServerDown", false}),
                         tsm::test::CaseName());

// ---- Probes in flight together ---------------------------------------------------------------------------------

// A steady stream of ticks whose probes overlap, some starting while others end; no probe may miss the server for
// that, and no socket may be left behind. (Measured under Wine 8: when overlapping exchanges each start and end a
// Winsock session of their own, about one in a hundred loses its socket and a few fail outright; with one session
// held for the whole process, neither happens.)
TEST(PanelOverlappingProbes, AllReachTheServerAndLeaveNoSocketBehind) {
  const std::size_t ticks = CountFromEnvironment("TSM_ENDURANCE_TICKS", kDefaultOverlappingTicks);
  // Enough in flight to overlap all the time, few enough that they never pile up.
  constexpr std::size_t kInFlight = 6;
  // A correct panel leaves none; this only allows for the system's own bookkeeping (one handle, measured).
  constexpr DWORD kSocketSlack = 4;

  const LocalHttpServer server([](ServerConnection& c) {
    // Answers after 0 to 20 ms, so that probes end in another order than they started.
    if (c.ReadRequest() && c.Pause(std::chrono::milliseconds(5 * (c.Index() % 5))))
      c.Send(HttpAnswer("<runningSince>#" + std::to_string(c.Index()) + "</runningSince>"));
    c.Close();
  });
  const PanelInFolder panel(server.Port());
  const ProcessGauge gauge(panel.ProcessId());
  ASSERT_TRUE(WaitForStatus(panel, Running(0))) << "the first probe never reported";
  const auto before = gauge.ReadSettled();
  ASSERT_TRUE(before) << "the panel's threads never settled after start";

  for (std::size_t i = 0; i < ticks; ++i) {
    panel.Tick();
    ASSERT_TRUE(gauge.WaitForThreadsAtMost(before->threads + kInFlight)) << "probes piled up at tick " << i;
  }
  const auto after = gauge.ReadSettled();
  ASSERT_TRUE(after) << "the panel's threads never settled after the ticks";

  std::cout << "[ measured ] before: " << *before << "\n[ measured ] after:  " << *after << "\n";
  // The panel's own timer may add a probe or two; none may be missing.
  EXPECT_GE(server.Connections(), ticks + 1) << "probes that never reached the answering server";
  EXPECT_EQ(panel.StatusText().rfind(kRunningNumber, 0), 0u) << panel.StatusText();
  if (before->handles && after->handles) {
    EXPECT_LE(*after->handles, *before->handles + kSocketSlack)
        << "handles grew from " << *before->handles << " to " << *after->handles << " over " << ticks
        << " overlapping probes";
  }
}

// ---- Many closes -------------------------------------------------------------------------------------------------

enum class Moment {
  AtLaunch,        // the first probe may still be reading the configuration or connecting
  ProbesStarting,  // a burst of ticks, closed at once: workers being created, initialising COM, connecting
  AwaitingAnswer,  // connected, request sent, the server not answering yet
  AwaitingSilence, // the answer read, waiting out the server's silence on a connection it keeps open
  UpdatesArriving, // a server that answers at once: updates on their way to the window as it goes
};

struct CloseCase {
  const char* name;
  Moment moment;
};

constexpr CloseCase kCloseCases[] = {
    {"AtLaunch", Moment::AtLaunch},
    {"ProbesStarting", Moment::ProbesStarting},
    {"AwaitingAnswer", Moment::AwaitingAnswer},
    {"AwaitingSilence", Moment::AwaitingSilence},
    {"UpdatesArriving", Moment::UpdatesArriving},
};

class PanelClosedMidProbe : public testing::TestWithParam<CloseCase> {};

TEST_P(PanelClosedMidProbe, EndsCleanlyEveryTime) {
  const Moment moment = GetParam().moment;
  // The closes are shared out between the moments.
  constexpr std::size_t moments = std::size(kCloseCases);
  const std::size_t rounds = (CountFromEnvironment("TSM_ENDURANCE_CLOSES", kDefaultCloses) + moments - 1) / moments;

  for (std::size_t round = 0; round < rounds && !HasFailure(); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::atomic<std::size_t> answered{0};
    LocalHttpServer server([&](ServerConnection& c) {
      if (moment == Moment::UpdatesArriving) return AnswerWithItsNumber(c);
      // Holds every connection for seconds: answers late, then keeps it open until the panel's process is gone.
      if (!c.ReadRequest() || !c.Pause(1500ms)) return;
      c.Send(HttpAnswer("<runningSince>late</runningSince>"));
      ++answered;
      c.HoldOpen();
    });
    PanelInFolder panel(server.Port());

    switch (moment) {
    case Moment::AtLaunch:
      break;
    case Moment::ProbesStarting:
      for (int i = 0; i < 5; ++i) panel.Tick();
      break;
    case Moment::AwaitingAnswer:
      panel.Tick();
      panel.Tick();
      ASSERT_TRUE(server.WaitForConnections(3)) << "the probes never connected";
      break;
    case Moment::AwaitingSilence:
      ASSERT_TRUE(WaitUntil([&] { return answered.load() >= 1; })) << "the first probe never got its answer";
      break;
    case Moment::UpdatesArriving:
      for (int i = 0; i < 10; ++i) panel.Tick();
      break;
    }

    EXPECT_TRUE(panel.Close(kEndBoundMs)) << "still running " << kEndBoundMs << " ms after WM_CLOSE";
    EXPECT_EQ(panel.ExitCode(), std::optional<DWORD>(0)) << "5 would be a crash";
  }
}

INSTANTIATE_TEST_SUITE_P(Endurance, PanelClosedMidProbe, testing::ValuesIn(kCloseCases), tsm::test::CaseName());

} // namespace
