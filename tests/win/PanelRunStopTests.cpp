// The run/stop button of the real panel: in stop mode it asks the server to stop with a token the server checks, in
// start mode it has the shell open the run script beside the panel's executable, and before any probe result it does
// nothing. Driven against a scripted local server, the stand-in server and real scripts, all under Wine. Last, the
// folder names that 8-bit paths or a path read as a URL would spoil.
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/ProbeHarness.h"
#include "support/CaseName.h"

#include "core/ServerContract.h"
#include "core/StopToken.h"
#include "core/TagText.h"
#include "http/HttpClient.h"
#include "res/resource.h"
#include "win32/Shell.h"
#include "win32/SystemText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)
using namespace tsm::test;
using namespace tsm::test::probe;
using tsm::FileExists;
using namespace std::chrono_literals;

constexpr DWORD kQuietMs = 2000; // how long a check that something does NOT happen gives it; no measure of speed
constexpr char kAppTitle[] = "Torvale Service Manager";
constexpr char kMarker[] = "run-marker.txt"; // what kMarkerScript writes into its working folder
constexpr char kStopRequestStart[] = "GET /app?operation=ws&s=r&";

[[nodiscard]] bool IsRunningLine(const std::string& status) { return status.rfind(kRunningSince, 0) == 0; }

// Everything of the window that a click could change.
struct WindowState {
  std::string status;
  std::string caption;
  bool enabled = false;
  bool lblRequestSentUnregistered = false;
  bool lblRequestSentRegistered = false;
  bool busy = false;
  friend bool operator==(const WindowState&, const WindowState&) = default;
};

std::ostream& operator<<(std::ostream& out, const WindowState& s) {
  return out << "{status \"" << s.status << "\", button \"" << s.caption << "\"" << (s.enabled ? "" : " disabled")
             << (s.lblRequestSentUnregistered ? ", lblRequestSentUnregistered" : "")
             << (s.lblRequestSentRegistered ? ", lblRequestSentRegistered" : "") << (s.busy ? ", busy" : "") << "}";
}

WindowState ReadState(const PanelDriver& panel) {
  return {panel.StatusText(),
          panel.Text(IDC_BTNSERVERSTARTSTOP),
          panel.IsEnabled(IDC_BTNSERVERSTARTSTOP),
          panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED),
          panel.IsShown(IDC_LBLREQUESTSENTREGISTERED),
          panel.ShowsWaitCursor()};
}

// Complete stop requests the server has received so far.
std::vector<std::string> StopRequests(const LocalHttpServer& server) {
  std::vector<std::string> found;
  for (const std::string& request : server.Requests())
    if (request.rfind(kStopRequestStart, 0) == 0 && request.find("\r\n\r\n") != std::string::npos)
      found.push_back(request);
  return found;
}

void ExpectStartMode(const PanelDriver& panel) {
  EXPECT_TRUE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Start Torvale");
  EXPECT_TRUE(panel.ShowsPicture(IDC_BTNSERVERSTARTSTOP, IDB_GLYPH_START));
}

void ExpectStopMode(const PanelDriver& panel) {
  EXPECT_TRUE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Stop Torvale");
  EXPECT_TRUE(panel.ShowsPicture(IDC_BTNSERVERSTARTSTOP, IDB_GLYPH_STOP));
}

// Start mode runs a copy of the panel (PanelExe::Copy), so that the scripts it opens are ours and not the samples in
// bin/; its working folder, where the configuration lives and where scripts run, is apart from it. Both paths hold
// blanks, as "Program Files" would.

constexpr char kMarkerScript[] = "@echo off\r\necho ran> run-marker.txt\r\n";

// Clicks the button and waits for its handler to return: the click is sent, not posted. Only for clicks that open
// no message box.
[[nodiscard]] bool ClickAndWait(const PanelDriver& panel, int id) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(panel.Control(id), BM_CLICK, 0, 0, SMTO_NORMAL, kEventBoundMs, &ignored) != 0;
}

// --- Stop mode ----------------------------------------------------------------------------------------------------

// The stop request goes to the port the probe resolved, even when the configuration names another by now.
TEST(RunStopButton, StopModeSendsOneCheckedStopRequestPerClickAndShowsNothing) {
  const LocalHttpServer server(AnswerAndClose(SinceAnswer("T")));
  const LocalHttpServer other(AnswerAndClose(SinceAnswer("other")));
  const PanelInFolder panel(server.Port());
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("T"))) << panel.StatusText();
  ExpectStopMode(panel);
  WriteConfig(panel.Work(), ConfigWithPort(other.Port()));

  constexpr std::size_t kClicks = 5;
  std::vector<std::int32_t> drawn;
  for (std::size_t click = 1; click <= kClicks; ++click) {
    SCOPED_TRACE("click " + std::to_string(click));
    const WindowState before = ReadState(panel);
    ASSERT_TRUE(panel.Click(IDC_BTNSERVERSTARTSTOP));
    ASSERT_TRUE(WaitUntil([&] { return StopRequests(server).size() >= click; })) << "no stop request arrived";
    panel.Sync(); // the handler has returned: its exchange is over

    const std::vector<std::string> stops = StopRequests(server);
    ASSERT_EQ(stops.size(), click);
    const std::string& request = stops.back();
    const auto token = ParseStopRequest(request);
    ASSERT_TRUE(token) << request;
    const auto [t, u] = *token;
    EXPECT_GE(t, 100);
    EXPECT_LE(t, 199);
    EXPECT_TRUE(tsm::StopTokenChecks(t, u)) << "t=" << t << " u=" << u;
    EXPECT_EQ(request, "GET /app?operation=ws&s=r&t=" + std::to_string(t) + "&u=" + std::to_string(u) +
                           " HTTP/1.1\r\nHost: localhost\r\n\r\n");
    drawn.push_back(t);

    EXPECT_EQ(ReadState(panel), before);
  }
  // t is drawn afresh for each click: five equal draws out of a hundred values would be a one-in-10^8 chance.
  EXPECT_NE(std::count(drawn.begin(), drawn.end(), drawn.front()), static_cast<std::ptrdiff_t>(drawn.size()))
      << "t was " << drawn.front() << " every time";
  EXPECT_EQ(other.Connections(), 0u);
}

TEST(RunStopButton, StopModeWithTheServerAlreadyGoneShowsNothing) {
  auto server = std::make_unique<LocalHttpServer>(AnswerAndClose(SinceAnswer("T")));
  const PanelInFolder panel(server->Port());
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("T"))) << panel.StatusText();

  server.reset();
  const WindowState before = ReadState(panel);
  ASSERT_TRUE(ClickAndWait(panel, IDC_BTNSERVERSTARTSTOP));
  EXPECT_FALSE(panel.FindMessageBox().has_value());
  EXPECT_EQ(ReadState(panel), before);

  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();
  ExpectStartMode(panel);
}

// While the stop exchange holds the window's thread, a probe that finishes meanwhile waits with its result, which
// the window then applies: nothing is lost. Status probes are answered after a pause, with their connection's
// number; a stop request is kept trickling until the test lets it go.
TEST(RunStopButton, ProbeResultWaitsForTheStopExchangeAndIsThenApplied) {
  std::atomic<bool> release{false};
  std::atomic<std::size_t> probesAnswered{0};
  const LocalHttpServer server([&](ServerConnection& connection) {
    if (!connection.ReadRequest()) return;
    if (connection.Received().rfind(kStopRequestStart, 0) == 0) {
      while (!release && connection.Send("x")) connection.Pause(100ms);
      connection.Close();
      return;
    }
    if (connection.Index() > 0) connection.Pause(1500ms);
    connection.Send(SinceAnswer(std::to_string(connection.Index())));
    connection.Close();
    ++probesAnswered;
  });
  const PanelInFolder panel(server.Port());
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("0"))) << panel.StatusText();

  const std::size_t answeredBefore = probesAnswered;
  panel.Tick(); // a probe that the server answers only after a pause
  ASSERT_TRUE(panel.Click(IDC_BTNSERVERSTARTSTOP));
  ASSERT_TRUE(WaitUntil([&] { return !StopRequests(server).empty(); })) << "no stop request arrived";
  ASSERT_TRUE(WaitUntil([&] { return probesAnswered > answeredBefore; })) << "the probe was not answered";

  release = true;
  ASSERT_TRUE(WaitUntil([&] {
    const std::string status = panel.StatusText();
    return IsRunningLine(status) && status != kRunningSince + std::string("0");
  })) << panel.StatusText();
  ExpectStopMode(panel);
}

// A server that answers the stop request a byte a second, for as long as it is let, holds the window's thread only
// for the exchange's bound: a round trip from outside, sent once the request has arrived, is answered within
// kAnswerBoundMs. (Without the bound it would wait for the server's last byte.)
TEST(RunStopButton, AStopRequestAnsweredAByteASecondHoldsTheWindowOnlyForTheBound) {
  const LocalHttpServer server([](ServerConnection& connection) {
    if (!connection.ReadRequest()) return;
    if (connection.Received().rfind(kStopRequestStart, 0) == 0) {
      connection.SendForever([](std::uint64_t) { return std::string("x"); }, 1s);
      return;
    }
    connection.Send(SinceAnswer("T"));
    connection.Close();
  });
  const PanelInFolder panel(server.Port());
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + std::string("T"))) << panel.StatusText();

  ASSERT_TRUE(panel.Click(IDC_BTNSERVERSTARTSTOP));
  ASSERT_TRUE(WaitUntil([&] { return !StopRequests(server).empty(); })) << "no stop request arrived";
  const auto sent = std::chrono::steady_clock::now();
  DWORD_PTR ignored = 0;
  EXPECT_NE(SendMessageTimeoutA(panel.Window(), WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &ignored), 0)
      << "the window was still held after kAnswerBoundMs";
  std::printf(
      "[ measured ] window held after the stop request arrived: %lld ms\n",
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count()));
}

TEST(RunStopButton, StopModeStopsTheStandInServerAndTheNextTickShowsIt) {
  // The server runs in a folder of its own whose configuration names the port the panel's names.
  const ScratchFolder serverWork;
  const std::int32_t port = FreePort();
  WriteConfig(serverWork, ConfigWithPort(port));
  const ChildProcess server(BuiltFile(kServerExe), serverWork.Path());
  ASSERT_TRUE(server.Started()) << "cannot start " << BuiltFile(kServerExe);
  ASSERT_TRUE(WaitUntil([&] { return AcceptsConnections(port) || !server.Running(); }, kStartBoundMs));
  ASSERT_TRUE(server.Running()) << "the stand-in server exited with " << server.WaitForExit(0).value_or(0);

  // What the server itself says, to compare with the panel's line.
  std::string answer;
  ASSERT_TRUE(tsm::HttpGet("localhost", "/app?operation=ws", port, answer));
  const std::string since = tsm::ExtractTagText(answer, "runningSince");
  ASSERT_FALSE(since.empty()) << answer;

  const PanelInFolder panel(port);
  ASSERT_TRUE(WaitForStatus(panel, kRunningSince + since)) << panel.StatusText();
  ExpectStopMode(panel);

  const WindowState before = ReadState(panel);
  ASSERT_TRUE(panel.Click(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(server.WaitForExit(), 0u) << "the stand-in server did not stop";
  panel.Sync();
  EXPECT_EQ(ReadState(panel), before);

  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();
  ExpectStartMode(panel);
}

// --- Start mode ---------------------------------------------------------------------------------------------------

TEST(RunStopButton, StartModeRunsTheScriptBesideTheExeInTheWorkingFolder) {
  const PanelInFolder panel(FreePort(), PanelExe::Copy);
  panel.Program().Write("run.bat", kMarkerScript);
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();
  ExpectStartMode(panel);
  ASSERT_FALSE(panel.ShowsWaitCursor());

  ASSERT_TRUE(panel.Click(IDC_BTNSERVERSTARTSTOP));
  ASSERT_TRUE(WaitUntil([&] {
    return FileExists(panel.Work().PathOf(kMarker)) && panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED);
  })) << "the script did not run, or no indication";
  EXPECT_FALSE(FileExists(panel.Program().PathOf(kMarker)));
  EXPECT_TRUE(panel.IsVisible(IDC_LBLREQUESTSENTUNREGISTERED)); // on the page on show
  EXPECT_TRUE(panel.IsShown(IDC_LBLREQUESTSENTREGISTERED));
  EXPECT_TRUE(panel.ShowsWaitCursor());
  EXPECT_EQ(panel.StatusText(), kNotRunning);

  // The next update, with the flag unchanged, takes the indication away and leaves the button as it was.
  panel.Tick();
  ASSERT_TRUE(WaitUntil(
      [&] { return !panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && !panel.IsShown(IDC_LBLREQUESTSENTREGISTERED); }));
  EXPECT_FALSE(panel.ShowsWaitCursor());
  EXPECT_EQ(panel.StatusText(), kNotRunning);
  ExpectStartMode(panel);
}

TEST(RunStopButton, StartModeRunScriptStartsTheStandInServerWhichStopModeStops) {
  const std::int32_t port = FreePort();
  const PanelInFolder panel(port, PanelExe::Copy);
  // Whatever happens below, no server outlives the test: the sweep goes before the panel and its folders.
  const ProcessSweep sweep(panel.Program().CopyIn(BuiltFile(kServerExe)));
  (void)panel.Program().CopyIn(BuiltFile(tsm::kRunScript));
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();

  ASSERT_TRUE(panel.Click(IDC_BTNSERVERSTARTSTOP));
  if (!WaitUntil([&] { return AcceptsConnections(port); }, kStartBoundMs)) {
    const std::optional<MessageBoxInfo> box = panel.FindMessageBox();
    FAIL() << "the run script started no server: " << sweep.Count() << " of it running, the panel "
           << (box ? "says: " + box->text : "shows no message");
  }
  EXPECT_EQ(sweep.Count(), 1u);

  panel.Tick();
  ASSERT_TRUE(WaitUntil([&] { return IsRunningLine(panel.StatusText()); })) << panel.StatusText();
  EXPECT_GT(panel.StatusText().size(), std::string(kRunningSince).size()) << "the stand-in reports when it started";
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED));
  ExpectStopMode(panel);

  ASSERT_TRUE(panel.Click(IDC_BTNSERVERSTARTSTOP));
  ASSERT_TRUE(WaitUntil([&] { return sweep.Count() == 0; }, kStartBoundMs))
      << "the stop request did not stop the server";
  EXPECT_FALSE(AcceptsConnections(port));
  panel.Tick();
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();
  ExpectStartMode(panel);
}

TEST(RunStopButton, StartModeWithoutRunScriptShowsTheSystemTextForAMissingFile) {
  const PanelInFolder panel(FreePort(), PanelExe::Copy);
  // A script in the working folder is not the one the panel looks for.
  panel.Work().Write("run.bat", kMarkerScript);
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();

  ASSERT_TRUE(panel.Click(IDC_BTNSERVERSTARTSTOP));
  const auto box = panel.WaitForMessageBox();
  ASSERT_TRUE(box) << "no message box";
  // In the words the panel asks the system for.
  EXPECT_EQ(box->text, tsm::SystemErrorText(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(box->caption, kAppTitle);
  EXPECT_EQ(box->owner, panel.Window());
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTREGISTERED));
  EXPECT_FALSE(FileExists(panel.Work().PathOf(kMarker)));
  ASSERT_TRUE(panel.CloseMessageBox(*box));

  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_FALSE(panel.ShowsWaitCursor());
  ExpectStartMode(panel);
}

// --- Before any probe result ----------------------------------------------------------------------------------------

// No configuration, so no probe ever reports: the button stays disabled. Even a click that reaches the window some
// other way (a BN_CLICKED sent straight to it) must do nothing: no script, no request, no box, no indication.
TEST(RunStopButton, WithoutProbeResultTheButtonIsDisabledAndAClickDoesNothing) {
  const PanelInFolder panel(PanelExe::Copy);
  panel.Program().Write("run.bat", kMarkerScript);
  panel.Tick();

  EXPECT_FALSE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Run Torvale");
  EXPECT_FALSE(panel.Click(IDC_BTNSERVERSTARTSTOP));

  // Sent, not posted: when the call returns, the handler has run.
  const HWND button = panel.Control(IDC_BTNSERVERSTARTSTOP);
  DWORD_PTR ignored = 0;
  ASSERT_TRUE(SendMessageTimeoutA(panel.Window(), WM_COMMAND, MAKEWPARAM(IDC_BTNSERVERSTARTSTOP, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(button), SMTO_NORMAL, kAnswerBoundMs, &ignored))
      << "the click did not come back";
  Sleep(kQuietMs); // room for a script that should not have been started

  EXPECT_FALSE(FileExists(panel.Work().PathOf(kMarker)));
  EXPECT_FALSE(FileExists(panel.Program().PathOf(kMarker)));
  EXPECT_FALSE(panel.FindMessageBox().has_value());
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_FALSE(panel.IsShown(IDC_LBLREQUESTSENTREGISTERED));
  EXPECT_FALSE(panel.ShowsWaitCursor());
  EXPECT_EQ(panel.StatusText(), kCheckingStatus);
  EXPECT_FALSE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
}

// --- Folder names ---------------------------------------------------------------------------------------------------

// The panel's own folder named in letters the system's code page lacks: the scripts beside it must still be found
// and run. A working folder whose name holds '#' and '%': the configuration below it must still be read, which
// the status bar shows by leaving "Checking status".
struct FolderCase {
  const char* name;
  const char* program; // the panel's folder
  const char* work;    // its working folder
  const char* script;  // written beside the panel, for the button to run; nullptr: nothing to click
  int button;
};

class PanelFolders : public testing::TestWithParam<FolderCase> {};

TEST_P(PanelFolders, ReadTheConfigurationAndRunTheScripts) {
  const FolderCase& c = GetParam();
  const ScratchFolder root;
  const std::string program = c.program;
  const std::string work = c.work;
  root.Write(work + "config\\AppConfig.xml", ConfigWithPort(FreePort()));
  if (c.script) root.Write(program + c.script, kMarkerScript);
  PanelOptions options;
  options.exePath = root.CopyIn(BuiltFile(kPanelExe), program + kPanelExe);
  options.workingFolder = root.PathOf(work);
  const PanelDriver panel(options);
  ASSERT_TRUE(WaitForStatus(panel, kNotRunning)) << panel.StatusText();
  if (!c.script) return;

  // Both buttons are on the page for an unregistered service, which these tests leave unregistered.
  ASSERT_TRUE(panel.Click(c.button)) << "the button is not on screen";
  std::optional<MessageBoxInfo> box;
  ASSERT_TRUE(WaitUntil([&] { return FileExists(root.PathOf(work + kMarker)) || (box = panel.FindMessageBox()); }))
      << "the script did not run";
  EXPECT_FALSE(box.has_value()) << "the panel said: " << box->text;
  if (box) {
    EXPECT_TRUE(panel.CloseMessageBox(*box));
  }
}

INSTANTIATE_TEST_SUITE_P(Names, PanelFolders,
                         testing::Values(FolderCase{"ProgramFolderOutsideTheCodePageRunsRunBat", "Панель Ω\\",
                                                    "work folder\\", "run.bat", IDC_BTNSERVERSTARTSTOP},
                                         FolderCase{"ProgramFolderOutsideTheCodePageFindsInstallService", "Панель Ω\\",
                                                    "work folder\\", "InstallService.bat", IDC_BTNREGISTER},
                                         FolderCase{"WorkingFolderWithUrlCharacters", "Torvale Panel\\",
                                                    "work #1%20x\\", nullptr, 0}),
                         tsm::test::CaseName());

} // namespace
