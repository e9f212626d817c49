// The server status probe, seen from outside the real panel: a scripted server on a free loopback port (or nothing
// there), a configuration in the panel's working folder, the timer fired by hand, and the status bar and the
// run/stop button read back through the window system.
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/ProbeHarness.h"
#include "support/ProcessGauge.h"
#include "support/CaseName.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)
using namespace tsm::test;
using namespace tsm::test::probe;
using namespace std::chrono_literals;

constexpr char kRunHint[] = "Run Torvale as a regular application";

void ExpectStopMode(const PanelDriver& panel) {
  EXPECT_TRUE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Stop Torvale");
  EXPECT_TRUE(panel.ShowsPicture(IDC_BTNSERVERSTARTSTOP, IDB_GLYPH_STOP));
  EXPECT_FALSE(panel.ShowsPicture(IDC_BTNSERVERSTARTSTOP, IDB_GLYPH_START));
}

void ExpectStartMode(const PanelDriver& panel) {
  EXPECT_TRUE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Start Torvale");
  EXPECT_TRUE(panel.ShowsPicture(IDC_BTNSERVERSTARTSTOP, IDB_GLYPH_START));
  EXPECT_FALSE(panel.ShowsPicture(IDC_BTNSERVERSTARTSTOP, IDB_GLYPH_STOP));
}

void ExpectNoProbeResult(const PanelDriver& panel) {
  EXPECT_EQ(panel.StatusText(), kCheckingStatus);
  EXPECT_FALSE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Run Torvale");
}

// --- What the server answers, and what the status bar makes of it ----------------------------------------------

struct AnswerCase {
  const char* name;
  Script script;
  std::string since; // what the status bar shows after "Torvale is running since "
};

const AnswerCase kAnswerCases[] = {
    {"Since", AnswerAndClose(SinceAnswer("2024-05-01 10:00:00")), "2024-05-01 10:00:00"},
    {"SinceInsideABody", AnswerAndClose(HttpAnswer("<status><runningSince>T</runningSince></status>")), "T"},
    {"NeitherTrimmedNorUnescaped", AnswerAndClose(SinceAnswer("  a &amp; b ")), "  a &amp; b "},
    {"FirstElementWins", AnswerAndClose(HttpAnswer("<runningSince>A</runningSince><runningSince>B</runningSince>")),
     "A"},
    {"FoundInAHeader",
     AnswerAndClose("HTTP/1.1 200 OK\r\nX-Note: <runningSince>H</runningSince>\r\nContent-Length: 0\r\n\r\n"), "H"},
    {"AnswerThenHeldOpen", AnswerAndHoldOpen(SinceAnswer("held")), "held"},
    {"NotFoundStillCounts", AnswerAndClose("HTTP/1.1 404 Not Found\r\n\r\n<runningSince>x</runningSince>"), "x"},
    {"AfterSeveralChunks", AnswerAndClose(HttpAnswer(std::string(5000, '.') + "<runningSince>T</runningSince>")), "T"},
    {"TagSplitAcrossSends",
     {step::ReadRequest(), step::Send("HTTP/1.1 200 OK\r\n\r\n<runningSi"), step::Pause(300ms),
      step::Send("nce>T</runningSince>"), step::Close()},
     "T"},
    // The rest comes only after the client's 2000 ms of silence are well over.
    {"RestAfterTheSilence",
     {step::ReadRequest(), step::Send("HTTP/1.1 200 OK\r\n\r\n<runningSince>T"), step::Pause(4000ms),
      step::Send("</runningSince>"), step::Close()},
     ""},
    // A NUL ends the text of the read that carries it, closing tag and all.
    {"NulInsideTheText", AnswerAndClose(HttpAnswer(std::string("<runningSince>A\0B</runningSince>", 32))), ""},
    {"ClosingTagOnly", AnswerAndClose(HttpAnswer("x</runningSince>")), ""},
    {"OpeningTagOnly", AnswerAndClose(HttpAnswer("<runningSince>x")), ""},
    {"OpeningTagWithAttribute", AnswerAndClose(HttpAnswer("<runningSince a=\"1\">x</runningSince>")), ""},
    {"OpeningTagWithBlank", AnswerAndClose(HttpAnswer("<runningSince >x</runningSince>")), ""},
    {"ClosingTagFirst", AnswerAndClose(HttpAnswer("</runningSince>x<runningSince>")), ""},
    {"EmptyElement", AnswerAndClose(SinceAnswer("")), ""},
    {"OtherCase", AnswerAndClose(HttpAnswer("<RunningSince>x</RunningSince>")), ""},
    {"NoAnswerThenClose", {step::ReadRequest(), step::Close()}, ""},
    {"NoAnswerHeldOpen", {step::ReadRequest(), step::HoldOpen()}, ""},
};

class ProbeAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ProbeAnswer, StatusBarShowsTheRunningSinceTextAndTheButtonStops) {
  const LocalHttpServer server(GetParam().script);
  const PanelInFolder panel(server.Port());

  const std::string want = kRunningSince + GetParam().since;
  ASSERT_TRUE(WaitForStatus(panel, want)) << "status bar: \"" << panel.StatusText() << "\"";
  ExpectStopMode(panel);
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTREGISTERED));

  // The first connection is the probe that was just shown, so it is complete: one request, nothing else.
  ASSERT_GE(server.Connections(), 1u);
  EXPECT_EQ(server.Requests().at(0), kStatusRequest);

  // The status bar's hint tells an answer from a connection that stayed silent.
  const std::string port = "Port " + std::to_string(server.Port());
  const std::string hint = panel.ToolHint(IDC_STBMAIN).value_or("");
  const bool silent = std::string_view(GetParam().name).starts_with("NoAnswer");
  if (silent)
    EXPECT_EQ(hint, port + " accepted but did not answer");
  else
    EXPECT_EQ(hint.substr(0, hint.rfind(' ') + 1),
              port + " from " + panel.Work().PathOf("config\\AppConfig.xml") + "; the server last answered at ")
        << hint;
}

INSTANTIATE_TEST_SUITE_P(Panel, ProbeAnswer, ::testing::ValuesIn(kAnswerCases), tsm::test::CaseName());

TEST(ProbeServerDown, NothingListeningShowsNotRunningAndTheButtonStarts) {
  const std::int32_t port = FreePort();
  const PanelInFolder panel(port);

  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << "status bar: \"" << panel.StatusText() << "\"";
  ExpectStartMode(panel);
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTREGISTERED));
  const std::string hint = panel.ToolHint(IDC_STBMAIN).value_or("");
  EXPECT_EQ(hint.substr(0, hint.find('(') + 1), "Port " + std::to_string(port) + " refused the connection (") << hint;
}

// --- Updates over time ------------------------------------------------------------------------------------------

TEST(ProbeUpdates, TextAndButtonFollowTheServerUpDownUp) {
  auto server = std::make_unique<LocalHttpServer>(AnswerAndClose(SinceAnswer("first")));
  const std::int32_t port = server->Port();
  const PanelInFolder panel(port);

  EXPECT_EQ(panel.ToolHint(IDC_BTNSERVERSTARTSTOP), kRunHint);
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("first"))) << panel.StatusText();
  ExpectStopMode(panel);
  EXPECT_EQ(panel.ToolHint(IDC_BTNSERVERSTARTSTOP), kRunHint);

  server.reset();
  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();
  ExpectStartMode(panel);
  EXPECT_EQ(panel.ToolHint(IDC_BTNSERVERSTARTSTOP), kRunHint);

  server = std::make_unique<LocalHttpServer>(AnswerAndClose(SinceAnswer("second")), static_cast<std::uint16_t>(port));
  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("second"))) << panel.StatusText();
  ExpectStopMode(panel);
  EXPECT_EQ(panel.ToolHint(IDC_BTNSERVERSTARTSTOP), kRunHint);
}

// Each connection is answered with its own number, so every update shows a new text even though the flag stays.
void AnswerWithIndex(ServerConnection& connection) {
  if (!connection.ReadRequest()) return;
  connection.Send(SinceAnswer(std::to_string(connection.Index())));
  connection.Close();
}

// Disables the run button and changes its caption from outside, as no status update would.
void SpoilRunButton(const PanelDriver& panel) {
  const HWND button = panel.Control(IDC_BTNSERVERSTARTSTOP);
  DWORD_PTR ignored = 0;
  ASSERT_TRUE(SendMessageTimeoutA(button, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("spoilt"), SMTO_NORMAL,
                                  kAnswerBoundMs, &ignored));
  EnableWindow(button, FALSE);
}

// A second update with the flag unchanged must not touch the button at all. To see that, the button is spoilt from
// outside (disabled, caption changed) between the two updates: a handler that re-applied the mode would mend it.
TEST(ProbeUpdates, SameFlagTwiceLeavesTheButtonButSetsTheText) {
  const LocalHttpServer server(AnswerWithIndex);
  const PanelInFolder panel(server.Port());
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("0"))) << panel.StatusText();

  ASSERT_NO_FATAL_FAILURE(SpoilRunButton(panel));
  ASSERT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "spoilt");
  ASSERT_FALSE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));

  panel.Tick();
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusText() != kRunningSince + std::string("0"); }));
  EXPECT_EQ(panel.StatusText().rfind(kRunningSince, 0), 0u) << panel.StatusText();
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "spoilt");
  EXPECT_FALSE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
}

TEST(ProbeUpdates, FlagChangeMendsTheButtonWhateverItShowed) {
  auto server = std::make_unique<LocalHttpServer>(AnswerAndClose(SinceAnswer("up")));
  const PanelInFolder panel(server->Port());
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("up"))) << panel.StatusText();

  ASSERT_NO_FATAL_FAILURE(SpoilRunButton(panel));
  server.reset();
  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();
  ExpectStartMode(panel);
}

TEST(ProbeUpdates, SameFlagTwiceClearsTheRequestSentIndication) {
  // A copy of the panel with a harmless install script beside it: Register shows the indication while the flag
  // stays "running".
  const LocalHttpServer server(AnswerWithIndex);
  const PanelInFolder panel(server.Port(), PanelExe::Copy);
  panel.Program().Write("InstallService.bat", "@echo off\r\nrem nothing to install\r\n");
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("0"))) << panel.StatusText();
  ASSERT_FALSE(panel.ShowsWaitCursor());

  ASSERT_TRUE(panel.Click(IDC_BTNREGISTER));
  ASSERT_TRUE(WaitUntil(
      [&] { return panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && panel.IsShown(IDC_LBLREQUESTSENTREGISTERED); }));
  EXPECT_TRUE(panel.ShowsWaitCursor());

  panel.Tick();
  ASSERT_TRUE(WaitUntil(
      [&] { return !panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && !panel.IsShown(IDC_LBLREQUESTSENTREGISTERED); }));
  EXPECT_NE(panel.StatusText(), kRunningSince + std::string("0"));
  EXPECT_FALSE(panel.ShowsWaitCursor());
  ExpectStopMode(panel);
}

// --- The port ---------------------------------------------------------------------------------------------------

TEST(ProbePort, ReadOnceThenKeptWhileTheWindowLives) {
  const LocalHttpServer first(AnswerAndClose(SinceAnswer("first")));
  const LocalHttpServer second(AnswerAndClose(SinceAnswer("second")));
  const PanelInFolder panel(first.Port());
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("first"))) << panel.StatusText();

  WriteConfig(panel.Work(), ConfigWithPort(second.Port()));
  for (int tick = 0; tick < 3; ++tick) {
    const std::size_t before = first.Connections();
    panel.Tick();
    ASSERT_TRUE(first.WaitForConnections(before + 1)) << "tick " << tick << " did not ask the first port";
  }
  ASSERT_TRUE(first.WaitForHandlers());
  panel.Sync();
  EXPECT_EQ(second.Connections(), 0u);
  EXPECT_EQ(panel.StatusText(), kRunningSince + std::string("first"));
}

TEST(ProbePort, WorkingFolderWithBlanksAndNonAsciiInItsPath) {
  const LocalHttpServer server(AnswerAndClose(SinceAnswer("found")));
  const ScratchFolder root;
  const std::string sub = "work folder \xE9t\xE9";
  root.Write(sub + "\\config\\AppConfig.xml", ConfigWithPort(server.Port()));
  PanelOptions options;
  options.workingFolder = root.PathOf(sub);
  const PanelDriver panel(options);

  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("found"))) << panel.StatusText();
}

TEST(ProbePort, ConfigurationMissingAtStartThenNobodyThere) {
  const PanelInFolder panel;
  const ProcessGauge gauge(panel.ProcessId());
  ASSERT_TRUE(TickAndLetItEnd(panel, gauge, IdleThreads(gauge))) << "the tick's probe never ended";
  ExpectNoProbeResult(panel);

  WriteConfig(panel.Work(), ConfigWithPort(FreePort()));
  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();
  ExpectStartMode(panel);
}

// Configurations that never yield a port, one after the other in the working folder of one panel that started
// without any. A server listens where each one points (or would point), and must never be asked; the window must
// keep its start state, with the run/stop button dead. Once the file is mended, the next tick finds the port, which
// shows that nothing was kept from the failed attempts.
struct NoPortCase {
  const char* name;
  std::vector<ConfigParameter> (*parameters)(std::int32_t port);
  std::string (*explanation)(std::int32_t port); // the status bar's tooltip
};

constexpr char kNoPortParameter[] = "The configuration has no httpPort2 or httpPort parameter";
[[nodiscard]] std::string NotAPort(const char* parameter, const std::string& value) {
  return std::string("The configuration's ") + parameter + " is \"" + value + "\", not a port from 1 to 65535";
}

const NoPortCase kNoPortCases[] = {
    {"ChildWithoutNameAheadOfThePorts",
     [](std::int32_t port) -> std::vector<ConfigParameter> {
       return {{std::nullopt, "1"}, {"httpPort2", std::to_string(port)}, {"httpPort", std::to_string(port)}};
     },
     [](std::int32_t) { return kNoPortParameter + std::string(": Parameter element has no \"name\" attribute"); }},
    {"PreferredPortWithoutValueStopsTheFallback",
     [](std::int32_t port) -> std::vector<ConfigParameter> {
       return {{"httpPort2", std::nullopt}, {"httpPort", std::to_string(port)}};
     },
     [](std::int32_t) { return kNoPortParameter + std::string(": Parameter element has no \"value\" attribute"); }},
    {"PortAbove65535",
     [](std::int32_t port) -> std::vector<ConfigParameter> {
       return {{"httpPort", std::to_string(port + 65536)}};
     },
     [](std::int32_t port) { return NotAPort("httpPort", std::to_string(port + 65536)); }},
    {"PortZero",
     [](std::int32_t) -> std::vector<ConfigParameter> {
       return {{"httpPort", "0"}};
     },
     [](std::int32_t) { return NotAPort("httpPort", "0"); }},
    {"PortNegative",
     [](std::int32_t port) -> std::vector<ConfigParameter> {
       return {{"httpPort", std::to_string(-port)}};
     },
     [](std::int32_t port) { return NotAPort("httpPort", std::to_string(-port)); }},
    {"PreferredPortLettersAndNoFallback",
     [](std::int32_t) -> std::vector<ConfigParameter> {
       return {{"httpPort2", "abc"}};
     },
     [](std::int32_t) { return NotAPort("httpPort2", "abc"); }},
    {"NameDiffersInCase",
     [](std::int32_t port) -> std::vector<ConfigParameter> {
       return {{"HttpPort", std::to_string(port)}};
     },
     [](std::int32_t) { return std::string(kNoPortParameter); }},
};

TEST(ProbeNoPort, CheckingStatusStaysAndNothingIsAsked) {
  const LocalHttpServer server(AnswerAndClose(SinceAnswer("mended")));
  const PanelInFolder panel;
  const ProcessGauge gauge(panel.ProcessId());
  const std::size_t idle = IdleThreads(gauge);

  {
    SCOPED_TRACE("no configuration at all");
    ASSERT_TRUE(TickAndLetItEnd(panel, gauge, idle)) << "the tick's probe never ended";
    ExpectNoProbeResult(panel);
    EXPECT_FALSE(panel.Click(IDC_BTNSERVERSTARTSTOP));
    EXPECT_EQ(panel.ToolHint(IDC_STBMAIN), "No configuration file at " + panel.Work().PathOf("config\\AppConfig.xml"));
  }
  for (const NoPortCase& c : kNoPortCases) {
    SCOPED_TRACE(c.name);
    WriteConfig(panel.Work(), ConfigXml(c.parameters(server.Port())));
    ASSERT_TRUE(TickAndLetItEnd(panel, gauge, idle)) << "the tick's probe never ended";
    ExpectNoProbeResult(panel);
    EXPECT_EQ(panel.ToolHint(IDC_STBMAIN), c.explanation(server.Port()));
  }
  {
    SCOPED_TRACE("not well-formed: the root is never closed");
    WriteConfig(panel.Work(), "<c>\r\n<parameters><p name=\"httpPort\" value=\"" + std::to_string(server.Port()) +
                                  "\"/></parameters>\r\n");
    ASSERT_TRUE(TickAndLetItEnd(panel, gauge, idle)) << "the tick's probe never ended";
    ExpectNoProbeResult(panel);
    const std::string malformed = panel.Work().PathOf("config\\AppConfig.xml") + " is not well-formed XML (line ";
    EXPECT_EQ(panel.ToolHint(IDC_STBMAIN).value_or("").substr(0, malformed.size()), malformed);
  }
  EXPECT_EQ(server.Connections(), 0u);

  WriteConfig(panel.Work(), ConfigWithPort(server.Port()));
  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("mended"))) << panel.StatusText();
  ExpectStopMode(panel);
}

// Which of the two port parameters the probe asks: httpPort2 when it holds a positive number, else httpPort. The
// server listens on `port`; `elsewhere` is a port nobody listens on.
struct PortChoiceCase {
  const char* name;
  std::vector<ConfigParameter> (*parameters)(std::int32_t port, std::int32_t elsewhere);
};

std::vector<ConfigParameter> Fallback(std::optional<std::string> preferred, std::int32_t port) {
  return {{"httpPort2", std::move(preferred)}, {"httpPort", std::to_string(port)}};
}

const PortChoiceCase kPortChoiceCases[] = {
    {"PreferredWins",
     [](std::int32_t port, std::int32_t elsewhere) -> std::vector<ConfigParameter> {
       return {{"httpPort", std::to_string(elsewhere)}, {"httpPort2", std::to_string(port)}};
     }},
    {"PreferredZero", [](std::int32_t port, std::int32_t) { return Fallback("0", port); }},
    {"PreferredNegative", [](std::int32_t port, std::int32_t) { return Fallback("-1", port); }},
    {"PreferredLetters", [](std::int32_t port, std::int32_t) { return Fallback("abc", port); }},
    {"PreferredEmpty", [](std::int32_t port, std::int32_t) { return Fallback("", port); }},
    {"PreferredTrailingBlank",
     [](std::int32_t port, std::int32_t elsewhere) { return Fallback(std::to_string(elsewhere) + " ", port); }},
    {"PreferredAbove65535",
     [](std::int32_t port, std::int32_t elsewhere) { return Fallback(std::to_string(elsewhere + 65536), port); }},
    {"PreferredMissing",
     [](std::int32_t port, std::int32_t) -> std::vector<ConfigParameter> {
       return {{"httpPort", std::to_string(port)}};
     }},
    {"PreferredLeadingBlanks",
     [](std::int32_t port, std::int32_t elsewhere) -> std::vector<ConfigParameter> {
       return {{"httpPort2", "  " + std::to_string(port)}, {"httpPort", std::to_string(elsewhere)}};
     }},
    {"PreferredHexadecimal",
     [](std::int32_t port, std::int32_t elsewhere) -> std::vector<ConfigParameter> {
       char hex[16] = {};
       const auto written = std::to_chars(hex, hex + sizeof hex, port, 16);
       return {{"httpPort2", "0x" + std::string(hex, written.ptr)}, {"httpPort", std::to_string(elsewhere)}};
     }},
};

class ProbePortChoice : public ::testing::TestWithParam<PortChoiceCase> {};

TEST_P(ProbePortChoice, TheServerOnTheChosenPortIsAsked) {
  const LocalHttpServer server(AnswerAndClose(SinceAnswer("chosen")));
  const PanelInFolder panel(ConfigXml(GetParam().parameters(server.Port(), FreePort())));

  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("chosen"))) << "status bar: " << panel.StatusText();
  EXPECT_GE(server.Connections(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Panel, ProbePortChoice, ::testing::ValuesIn(kPortChoiceCases), tsm::test::CaseName());

// --- Probes in flight ---------------------------------------------------------------------------------------------

// Closing the window does not wait for a probe that is still reading: the process ends at once and cleanly. A crash
// on the way out would end it with code 5 (crash dialogs are off in our sessions) or hang it.
struct InFlightCase {
  const char* name;
  Script script;
};

const InFlightCase kInFlightCases[] = {
    {"HeldSilent", {step::ReadRequest(), step::HoldOpen()}},
    {"Trickling", {step::ReadRequest(), step::SendForever("x", 100ms)}},
    {"AnswerOnTheWay", {step::ReadRequest(), step::Pause(300ms), step::Send(SinceAnswer("late")), step::Close()}},
};

class ProbeInFlight : public ::testing::TestWithParam<InFlightCase> {};

TEST_P(ProbeInFlight, ClosingTheWindowEndsTheProcessCleanly) {
  constexpr int kRounds = 3;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const LocalHttpServer server(GetParam().script);
    PanelInFolder panel(server.Port());
    ASSERT_TRUE(server.WaitForConnections(1)) << "the first probe never connected";

    EXPECT_TRUE(panel.Close()) << "the panel had to be killed";
    EXPECT_EQ(panel.ExitCode(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Panel, ProbeInFlight, ::testing::ValuesIn(kInFlightCases), tsm::test::CaseName());

// The first connection trickles a byte at a time, so its probe never falls silent and stays in flight for as long
// as the server lives; later connections are answered at once.
void FirstHeldOthersAnswered(ServerConnection& connection) {
  if (!connection.ReadRequest()) return;
  if (connection.Index() == 0) {
    connection.SendForever([](std::uint64_t) { return std::string("x"); }, 200ms);
    return;
  }
  connection.Send(SinceAnswer("meanwhile"));
  connection.Close();
}

// How quickly the window answers meanwhile is the benchmark's to measure; here it must answer at all.
TEST(ProbeInFlight, WindowKeepsAnsweringWhileAProbeIsHeld) {
  constexpr DWORD kObserveMs = 2000;

  const LocalHttpServer server(FirstHeldOthersAnswered);
  const PanelInFolder panel(server.Port());
  ASSERT_TRUE(server.WaitForConnections(1));

  HealthWatch watch(panel);
  watch.For(kObserveMs);
  ASSERT_EQ(watch.Unanswered(), 0) << "round trips not answered within kAnswerBoundMs";
  std::printf("[ measured ] slowest round trip while the probe was held: %lu ms\n",
              static_cast<unsigned long>(watch.WorstRoundTripMs()));
  // Still held: the probe was in flight the whole time. Only a probe of the panel's own timer, answered at once by
  // a second connection, may have shown something meanwhile.
  if (const std::string status = panel.StatusText(); status != kCheckingStatus) {
    EXPECT_GE(server.Connections(), 2u) << status;
    EXPECT_EQ(status, kRunningSince + std::string("meanwhile"));
  }

  // A tick meanwhile starts a probe of its own, which finishes while the first one is still held.
  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("meanwhile"))) << panel.StatusText();
  ExpectStopMode(panel);
}

} // namespace
