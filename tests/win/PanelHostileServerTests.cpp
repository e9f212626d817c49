// The real panel against servers on 127.0.0.1 that misbehave: dripping, flooding, resetting, never reading, sending
// garbage. Whatever the server does, the panel's process stays up, its window keeps answering, each probe ends where
// the read rules end it (2000 ms of silence, a 0-byte read, or 2000 reads), and the status bar shows what the probe
// made of the answer.
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/ProcessGauge.h"
#include "support/CaseName.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)
using namespace std::chrono_literals;
using tsm::test::HealthWatch;
using tsm::test::LocalHttpServer;
using tsm::test::PanelInFolder;
using tsm::test::Script;
using tsm::test::ServerConnection;
namespace step = tsm::test::step;

using tsm::test::kCheckingStatus;
using tsm::test::kEventBoundMs;
using tsm::test::kHostileBoundMs;
using tsm::test::kNotRunning;
using tsm::test::kProbeBoundMs;
using tsm::test::kRunningSince;
constexpr char kStatusRequest[] = "GET /app?operation=ws HTTP/1.1\r\nHost: localhost\r\n\r\n";

// Compares long texts without printing megabytes when they differ.
[[nodiscard]] testing::AssertionResult SameText(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  const auto at = static_cast<std::size_t>(mismatch.first - actual.begin());
  auto excerpt = [at](const std::string& s) { return s.substr(at > 20 ? at - 20 : 0, 60); };
  return testing::AssertionFailure() << "texts of " << actual.size() << " and " << expected.size()
                                     << " bytes differ at " << at << ": actual \"" << excerpt(actual)
                                     << "\", expected \"" << excerpt(expected) << "\"";
}

void Report(const char* test, const HealthWatch& watch) {
  std::printf("[hostile] %s: worst round trip %lu ms over %d round trips, most private bytes %llu KiB\n", test,
              static_cast<unsigned long>(watch.WorstRoundTripMs()), watch.RoundTrips(),
              static_cast<unsigned long long>(watch.MostPrivateBytes() / 1024));
  std::fflush(stdout);
}

[[nodiscard]] const char* CurrentTestName() { return testing::UnitTest::GetInstance()->current_test_info()->name(); }

// ---------------------------------------------------------------------------------------------------------------------
// Servers whose answer ends, one way or another

struct EndingCase {
  const char* name;
  std::function<Script()> makeScript;
  std::string statusUnderWine;
  std::string statusUnderWindows;
  bool clientEndsTheConnection; // the server sees the panel close (its handler then finishes)
};

class ProbeAgainstHostileServer : public testing::TestWithParam<EndingCase> {};

TEST_P(ProbeAgainstHostileServer, EndsAndShowsWhatTheRulesSay) {
  const EndingCase& c = GetParam();
  LocalHttpServer server(c.makeScript());
  const PanelInFolder panel(server.Port());
  HealthWatch watch(panel);

  // The probe of the window's creation ends first; the panel's own timer may start more, which meet the same server
  // and so show the same. Its update enables the run/stop button (a cheaper sign to poll than a status line that may
  // be a megabyte long).
  ASSERT_TRUE(watch.Until([&] { return panel.IsEnabled(IDC_BTNSERVERSTARTSTOP); }, kProbeBoundMs))
      << "the probe never reported";
  const std::string& expected = tsm::test::RunningUnderWine() ? c.statusUnderWine : c.statusUnderWindows;
  EXPECT_TRUE(SameText(panel.StatusText(), expected));
  const bool running = expected != kNotRunning;
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), running ? "Stop Torvale" : "Start Torvale");
  EXPECT_TRUE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));

  ASSERT_GE(server.Connections(), 1u);
  // A server that never reads has nothing to show of the request.
  if (const std::string received = server.Requests().at(0); !received.empty()) {
    EXPECT_EQ(received.substr(0, sizeof kStatusRequest - 1), kStatusRequest);
  }
  if (c.clientEndsTheConnection) {
    EXPECT_TRUE(server.WaitForHandlers()) << "the panel kept the connection";
  }

  // A little longer, to see the window answer with the result on show.
  watch.For(1000);
  EXPECT_TRUE(panel.IsRunning());
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";
  Report(CurrentTestName(), watch);
}

// The status line a probe makes of an answer whose runningSince text is text.
[[nodiscard]] std::string Since(const std::string& text) { return kRunningSince + text; }

// Control characters and the upper half of the byte range, but no NUL: all of it is kept as text.
[[nodiscard]] std::string OddBytes() {
  std::string bytes;
  for (int b = 1; b < 256; ++b)
    if (b != '<') bytes += static_cast<char>(b);
  return bytes;
}

// The status bar control keeps control characters other than the tab as blanks (measured with Wine's comctl32, on a
// bar of a test program's own as well): that is the control's doing, not the probe's.
[[nodiscard]] std::string AsTheBarShowsIt(std::string text) {
  for (char& c : text)
    if (c > 0 && c < 0x20 && c != '\t') c = ' ';
  return text;
}

// Every byte value but NUL and '<', over and over: no tag can form in it.
[[nodiscard]] std::string Garbage(std::size_t size) {
  const std::string odd = OddBytes();
  std::string garbage;
  while (garbage.size() < size) garbage += odd;
  garbage.resize(size);
  return garbage;
}

// A megabyte of text between the tags, with no '<' and no NUL in it.
[[nodiscard]] const std::string& Megabyte() {
  static const std::string text = [] {
    std::string t;
    t.reserve(1 << 20);
    for (std::size_t i = 0; t.size() < (1u << 20); ++i) t += "Mon " + std::to_string(i) + " | ";
    t.resize(1 << 20);
    return t;
  }();
  return text;
}

const std::string kHalfAnswer = "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<status><runningSince>T1</runningSince>";

const EndingCase kEndingCases[] = {
    // A client under Wine reads a reset as an orderly close (see LocalHttpServer.h); on Windows the read fails.
    {"ResetInMidAnswer",
     [] {
       return Script{step::ReadRequest(), step::Send(kHalfAnswer), step::Pause(200ms), step::Reset()};
     },
     Since("T1"), kNotRunning, true},
    {"ResetBeforeAnyAnswer",
     [] {
       return Script{step::ReadRequest(), step::Reset()};
     },
     Since(""), kNotRunning, true},
    // The request sits unread in the server's buffers; the panel's sends still succeed, then 2000 ms of silence.
    {"AcceptsAndNeverReads", [] { return Script{step::Pause(30s)}; }, Since(""), Since(""), false},
    {"AnswersAndKeepsTheConnection",
     [] { return tsm::test::AnswerAndHoldOpen(tsm::test::HttpAnswer("<runningSince>held</runningSince>")); },
     Since("held"), Since("held"), true},
    {"GarbageWithoutTags", [] { return tsm::test::AnswerAndClose("HTTP/1.1 200 OK\r\n\r\n" + Garbage(300000)); },
     Since(""), Since(""), true},
    {"OddBytesBetweenTheTags",
     [] { return tsm::test::AnswerAndClose(tsm::test::HttpAnswer("<runningSince>" + OddBytes() + "</runningSince>")); },
     AsTheBarShowsIt(Since(OddBytes())), AsTheBarShowsIt(Since(OddBytes())), true},
    {"MegabyteRunningSince",
     [] { return tsm::test::AnswerAndClose(tsm::test::HttpAnswer("<runningSince>" + Megabyte() + "</runningSince>")); },
     Since(Megabyte()), Since(Megabyte()), true},
    {"ClosingTagBeforeOpeningTag",
     [] {
       return tsm::test::AnswerAndClose(tsm::test::HttpAnswer("</runningSince>early<runningSince>late</runningSince>"));
     },
     Since(""), Since(""), true},
    {"OpeningTagWithAttributes",
     [] { return tsm::test::AnswerAndClose(tsm::test::HttpAnswer("<runningSince a=\"1\">T</runningSince>")); },
     Since(""), Since(""), true},
    {"EmptyAnswerAndClose",
     [] {
       return Script{step::ReadRequest(), step::Close()};
     },
     Since(""), Since(""), true},
};

INSTANTIATE_TEST_SUITE_P(Servers, ProbeAgainstHostileServer, testing::ValuesIn(kEndingCases), tsm::test::CaseName());

// A listener that never accepts: the system completes the handshake and buffers the request all the same, so the
// panel sees a silent server.
TEST(ProbeAgainstHostileServer, ListenerThatNeverAccepts) {
  const tsm::WinsockSession winsock;
  ASSERT_TRUE(winsock.Started());
  const tsm::test::LoopbackSocket listener = tsm::test::BindLoopback();
  ASSERT_EQ(listen(listener.socket.Get(), 4), 0);

  const PanelInFolder panel(listener.port);
  HealthWatch watch(panel);
  ASSERT_TRUE(watch.Until([&] { return panel.IsEnabled(IDC_BTNSERVERSTARTSTOP); }, kProbeBoundMs));
  EXPECT_EQ(panel.StatusText(), kRunningSince);
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Stop Torvale");
  EXPECT_TRUE(panel.IsRunning());
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";
  Report(CurrentTestName(), watch);
}

// ---------------------------------------------------------------------------------------------------------------------
// A server that never stops sending

constexpr std::uint64_t kReadsAtMost = 2000;
constexpr std::uint64_t kReadSize = 1024;
constexpr std::uint64_t kReachable = kReadsAtMost * kReadSize; // bytes 0 .. kReachable-1 at the very most

// An endless stream with one runningSince element in it whose closing tag starts at byte closeAt; everything else
// is letters. The text between the tags is "T".
class EndlessStream {
public:
  static constexpr char kOpen[] = "<runningSince>T";
  static constexpr char kClose[] = "</runningSince>";

  explicit EndlessStream(std::uint64_t closeAt) : markerAt_(closeAt - (sizeof kOpen - 1)) {}

  [[nodiscard]] std::string Bytes(std::uint64_t offset, std::size_t size) const {
    static const std::string marker = std::string(kOpen) + kClose;
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      const std::uint64_t at = offset + i;
      bytes[i] =
          at >= markerAt_ && at < markerAt_ + marker.size() ? marker[at - markerAt_] : static_cast<char>('a' + at % 26);
    }
    return bytes;
  }

private:
  std::uint64_t markerAt_;
};

struct StreamStats {
  std::atomic<std::uint64_t> sent{0};  // bytes handed to the system
  std::atomic<bool> sendFailed{false}; // the panel closed its end
};

struct EndlessCase {
  const char* name;
  std::uint64_t CloseTagAt;
  const char* text; // what the status line shows after the prefix
};

class ProbeAgainstEndlessStream : public testing::TestWithParam<EndlessCase> {};

// Each of the 2000 reads brings at least one byte and at most 1024, however the stream happens to be cut, so a
// closing tag within the first 2000 bytes is always seen and one that starts at byte kReachable never is. (Where
// exactly the limit falls is the read loop's own rule, proven on the core.) Either way the panel then closes.
TEST_P(ProbeAgainstEndlessStream, StopsAfter2000Reads) {
  StreamStats stats;
  const EndlessStream stream(GetParam().CloseTagAt);
  LocalHttpServer server([&](ServerConnection& connection) {
    if (!connection.ReadRequest()) return;
    constexpr std::size_t kPiece = 16 * 1024;
    for (std::uint64_t offset = 0;; offset += kPiece) {
      if (!connection.Send(stream.Bytes(offset, kPiece))) break;
      stats.sent = offset + kPiece;
    }
    if (!connection.Stopping()) stats.sendFailed = true;
  });
  const PanelInFolder panel(server.Port());
  HealthWatch watch(panel);

  ASSERT_TRUE(watch.Until([&] { return panel.IsEnabled(IDC_BTNSERVERSTARTSTOP); }, kProbeBoundMs))
      << "the probe never ended; " << stats.sent << " bytes sent so far";
  EXPECT_EQ(panel.StatusText(), Since(GetParam().text));
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Stop Torvale");
  EXPECT_TRUE(watch.Until([&] { return stats.sendFailed.load(); }, kEventBoundMs)) << "the panel kept the connection";
  EXPECT_GE(server.Connections(), 1u);
  EXPECT_TRUE(panel.IsRunning());
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";
  std::printf("[hostile] %s: the server sent %llu bytes before the panel closed (it can read %llu)\n", GetParam().name,
              static_cast<unsigned long long>(stats.sent.load()), static_cast<unsigned long long>(kReachable));
  Report(CurrentTestName(), watch);
}

const EndlessCase kEndlessCases[] = {
    {"CloseTagWithinTheFirstReads", 1024, "T"},
    {"CloseTagWhollyBeyondReach", kReachable, ""},
};

INSTANTIATE_TEST_SUITE_P(Streams, ProbeAgainstEndlessStream, testing::ValuesIn(kEndlessCases), tsm::test::CaseName());

// ---------------------------------------------------------------------------------------------------------------------
// A server that drips one byte every second, half the 2 s of silence that end a probe: every wait for data
// succeeds, so only the bound on the whole exchange ends a probe. Each worker must end there and close its
// connection, so that ticks against such a server leave no workers behind, and the window must not notice any of it.

constexpr auto kDripInterval = 1000ms;

struct DripStats {
  std::atomic<int> ended{0};            // connections the panel closed
  std::atomic<long long> worstGapMs{0}; // longest time between two sends, as the server's clock saw it
};

TEST(ProbeAgainstDrippingServer, EachWorkerEndsAtItsBoundAndNoneArePiledUp) {
  DripStats stats;
  LocalHttpServer server([&](ServerConnection& connection) {
    if (!connection.ReadRequest()) return;
    static const std::string text = "<runningSince>drip</runningSince>";
    const auto start = std::chrono::steady_clock::now();
    auto last = start;
    for (std::size_t i = 0;; ++i) {
      if (!connection.Send(text.substr(i % text.size(), 1))) {
        if (!connection.Stopping()) ++stats.ended;
        return;
      }
      const auto now = std::chrono::steady_clock::now();
      const long long gap = std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count();
      if (gap > stats.worstGapMs) stats.worstGapMs = gap;
      last = now;
      // Against the start, not the last send, so that late wake-ups do not add up.
      const auto next = start + (i + 1) * kDripInterval;
      if (!connection.Pause(std::chrono::duration_cast<std::chrono::milliseconds>(next - now))) return;
    }
  });
  const PanelInFolder panel(server.Port());
  HealthWatch watch(panel);

  ASSERT_TRUE(watch.Until([&] { return server.Connections() >= 1; }, kHostileBoundMs));
  constexpr int kTicks = 4;
  for (int i = 0; i < kTicks; ++i) panel.Tick();
  ASSERT_TRUE(watch.Until([&] { return server.Connections() >= 1 + kTicks; }, kHostileBoundMs))
      << "the ticks' probes never connected";
  const auto threadsDuring = tsm::test::CountThreads(panel.ProcessId());
  ASSERT_TRUE(threadsDuring);

  // Each of those probes closes its connection at its bound (the server sees it at its next send) and its thread
  // ends. The panel's own timer may have a probe of its own in flight at either count, one at most, as each ends
  // before the next tick.
  EXPECT_TRUE(watch.Until([&] { return stats.ended >= 1 + kTicks; }, kHostileBoundMs))
      << stats.ended << " of " << 1 + kTicks << " probes closed their connection";
  EXPECT_TRUE(watch.Until(
      [&] {
        const auto threads = tsm::test::CountThreads(panel.ProcessId());
        return threads && *threads + kTicks <= *threadsDuring;
      },
      kHostileBoundMs))
      << "threads " << *threadsDuring << " -> " << tsm::test::CountThreads(panel.ProcessId()).value_or(0);
  // What dripped in before a probe's bound holds no whole tag.
  EXPECT_EQ(panel.StatusText(), kRunningSince);
  EXPECT_TRUE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_TRUE(panel.IsRunning());
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";

  std::printf("[hostile] %s: %d connections closed by the panel, threads %zu while %d probes dripped; the server's "
              "longest gap between bytes %lld ms\n",
              CurrentTestName(), stats.ended.load(), *threadsDuring, 1 + kTicks, stats.worstGapMs.load());
  Report(CurrentTestName(), watch);
}

// ---------------------------------------------------------------------------------------------------------------------
// Closing the window while probes are stuck: the process ends on its own and cleanly, without waiting for them.

struct StuckCase {
  const char* name;
  std::function<Script()> makeScript;
};

class ClosingWhileProbesAreStuck : public testing::TestWithParam<StuckCase> {};

TEST_P(ClosingWhileProbesAreStuck, EndsTheProcessCleanly) {
  LocalHttpServer server(GetParam().makeScript());
  PanelInFolder panel(server.Port());
  HealthWatch watch(panel);
  ASSERT_TRUE(watch.Until([&] { return server.Connections() >= 1; }, kHostileBoundMs));
  panel.Tick();
  panel.Tick();
  ASSERT_TRUE(watch.Until([&] { return server.Connections() >= 3; }, kHostileBoundMs));
  // Let the workers get into their reads (the silent server's first one ends 2 s after it began).
  watch.For(300);

  EXPECT_TRUE(panel.Close()) << "the panel had to be killed";
  EXPECT_EQ(panel.ExitCode(), 0u);
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";
}

const StuckCase kStuckCases[] = {
    {"DrippingServer",
     [] {
       return Script{step::ReadRequest(), step::SendForever("<", std::chrono::milliseconds(kDripInterval))};
     }},
    // 1024 bytes every 10 ms: 2000 reads take 20 s.
    {"SlowEndlessStream",
     [] {
       return Script{step::ReadRequest(), step::SendForever(std::string(1024, 'z'), 10ms)};
     }},
    {"SilentServer",
     [] {
       return Script{step::ReadRequest(), step::HoldOpen()};
     }},
};

INSTANTIATE_TEST_SUITE_P(Servers, ClosingWhileProbesAreStuck, testing::ValuesIn(kStuckCases), tsm::test::CaseName());

// ---------------------------------------------------------------------------------------------------------------------
// A server that comes and goes on the same port, so that every probe flips the run/stop button. Many probes and
// flips later the panel holds no more handles (threads, sockets, events) than after the first few.

TEST(ProbeAgainstFlappingServer, HandlesAndMemoryStayFlat) {
  const std::int32_t port = tsm::test::FreePort();
  std::atomic<int> answered{0};
  const auto up = [&] {
    return std::make_unique<LocalHttpServer>(
        [&](ServerConnection& connection) {
          if (!connection.ReadRequest()) return;
          connection.Send(tsm::test::HttpAnswer("<runningSince>" + std::to_string(++answered) + "</runningSince>"));
        },
        static_cast<std::uint16_t>(port));
  };
  std::unique_ptr<LocalHttpServer> server = up();
  const PanelInFolder panel(port);
  HealthWatch watch(panel);

  // One probe per step, each waited for: up, the answer's count (or a later one, should the panel's own timer have
  // probed as well) shows; down, NOT running.
  const auto shows = [&](int atLeast) {
    const std::string status = panel.StatusText();
    if (status.rfind(kRunningSince, 0) != 0) return false;
    return std::atoi(status.c_str() + kRunningSince.size()) >= atLeast;
  };
  const auto cycle = [&] {
    const int next = answered + 1;
    if (!server) server = up();
    panel.Tick();
    const bool sawUp = watch.Until([&] { return shows(next); }, kHostileBoundMs);
    server.reset();
    panel.Tick();
    const bool sawDown = watch.Until([&] { return panel.StatusText() == kNotRunning; }, kHostileBoundMs);
    return sawUp && sawDown;
  };

  for (int i = 0; i < 3; ++i) ASSERT_TRUE(cycle()) << "cycle " << i << ": \"" << panel.StatusText() << "\"";
  watch.For(500);
  const auto handlesBefore = tsm::test::CountHandles(panel.ProcessId());
  const auto memoryBefore = tsm::test::ProcessMemory(panel.ProcessId());
  ASSERT_TRUE(handlesBefore && memoryBefore);

  constexpr int kCycles = 15;
  for (int i = 0; i < kCycles; ++i) ASSERT_TRUE(cycle()) << "cycle " << i << ": \"" << panel.StatusText() << "\"";
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Start Torvale");
  watch.For(500);
  const auto handlesAfter = tsm::test::CountHandles(panel.ProcessId());
  const auto memoryAfter = tsm::test::ProcessMemory(panel.ProcessId());
  ASSERT_TRUE(handlesAfter && memoryAfter);

  // A handle or two may come and go with whatever the system keeps; a leak per probe would be thirty.
  EXPECT_LE(*handlesAfter, *handlesBefore + 4);
  EXPECT_LE(memoryAfter->privateBytes, memoryBefore->privateBytes + (4u << 20));
  EXPECT_TRUE(panel.IsRunning());
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";
  std::printf("[hostile] %s: after %d more probes, handles %zu -> %zu, private bytes %llu -> %llu KiB\n",
              CurrentTestName(), 2 * kCycles, *handlesBefore, *handlesAfter,
              static_cast<unsigned long long>(memoryBefore->privateBytes / 1024),
              static_cast<unsigned long long>(memoryAfter->privateBytes / 1024));
  Report(CurrentTestName(), watch);
}

} // namespace
