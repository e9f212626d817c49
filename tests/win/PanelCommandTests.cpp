// The service commands worked through the real panel: Register has Wine's shell open the install script found
// beside the panel's executable, Start and Stop go to Wine's service manager for "Torvale", and every refusal is a
// plain message box that leaves the window as it was. The panel runs as a copy in a scratch folder, so the scripts
// it finds are the stubs these tests write, never the sample ones; without a port it has no configuration, so its
// status line never changes, but each probe's result still ends a request-sent indication.
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/ProcessGauge.h"
#include "support/TestServices.h"
#include "support/CaseName.h"
#include "win32/Shell.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tsm::FileExists;
using tsm::test::Light;
using tsm::test::LocalHttpServer;
using tsm::test::MessageBoxInfo;
using tsm::test::PanelDriver;
using tsm::test::PanelExe;
using tsm::test::PanelInFolder;
using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)
using tsm::test::ServiceGuard;
using tsm::test::TestServiceCommand;
using tsm::test::WaitUntil;

constexpr char kService[] = "Torvale";
constexpr char kTitle[] = "Torvale Service Manager";
constexpr char kInstallScript[] = "InstallService.bat";
constexpr char kNoInstallScript[] = "Install service file is not found. Cannot install Torvale service.";
constexpr char kMarker[] = "marker.txt";
// The stub writes its marker into whatever folder it runs in, which is the one the shell gave it.
constexpr char kMarkerScript[] = "@echo off\r\necho done> marker.txt\r\n";
constexpr char kSince[] = "Tue, 1 Jan 2030 10:00:00";

// Everything of the window a command could change, as read through the window system. The traffic light is read
// from the screen, which a message box may cover, so it is kept apart.
struct WindowState {
  int page = 0;
  bool lblStatusShown = false;
  bool lblStatus2Shown = false;
  bool registerEnabled = false;
  bool runEnabled = false;
  std::string runCaption;
  bool startEnabled = false;
  bool stopEnabled = false;
  std::string statusText;
  friend bool operator==(const WindowState&, const WindowState&) = default;
};

void PrintTo(const WindowState& s, std::ostream* out) {
  *out << "{page " << s.page << ", labels " << s.lblStatusShown << "/" << s.lblStatus2Shown << ", register "
       << s.registerEnabled << ", run " << s.runEnabled << " \"" << s.runCaption << "\", start " << s.startEnabled
       << ", stop " << s.stopEnabled << ", status \"" << s.statusText << "\"}";
}

WindowState ReadState(const PanelDriver& panel) {
  WindowState s;
  s.page = panel.ActivePage();
  s.lblStatusShown = panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED);
  s.lblStatus2Shown = panel.IsShown(IDC_LBLREQUESTSENTREGISTERED);
  s.registerEnabled = panel.IsEnabled(IDC_BTNREGISTER);
  s.runEnabled = panel.IsEnabled(IDC_BTNSERVERSTARTSTOP);
  s.runCaption = panel.Text(IDC_BTNSERVERSTARTSTOP);
  s.startEnabled = panel.IsEnabled(IDC_BTNSTARTSERVICE);
  s.stopEnabled = panel.IsEnabled(IDC_BTNSTOPSERVICE);
  s.statusText = panel.StatusText();
  return s;
}

// The light on show, or None while the unregistered page is up (the picture control is hidden then).
Light ReadLight(const PanelDriver& panel) {
  if (panel.ActivePage() != IDC_TBREGISTERED) return Light::None;
  // Painted in the panel's own time after a change; give it a moment to settle before reading.
  Light light = Light::None;
  (void)WaitUntil([&] { return (light = panel.StatusLight()) != Light::None; });
  return light;
}

// Whether the light comes to show want. A refresh has run when the message that asked for it returns, but the light
// is painted after it, in the panel's own time: until then the screen still shows the light before.
::testing::AssertionResult ShowsLight(const PanelDriver& panel, Light want) {
  Light light = Light::None;
  if (WaitUntil([&] { return (light = ReadLight(panel)) == want; })) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the light shows " << ::testing::PrintToString(light);
}

// What sets the box apart from the panel's plain message box with this text (its title as caption, owned by and
// modal to the window, one OK button, no icon), one line per difference; empty when nothing does.
std::string PlainMessageDifferences(const PanelDriver& panel, const std::optional<MessageBoxInfo>& box,
                                    const std::string& text) {
  if (!box) return "no message box\n";
  std::ostringstream differences;
  if (box->text != text) differences << "text \"" << box->text << "\"\n";
  if (box->caption != kTitle) differences << "caption \"" << box->caption << "\"\n";
  if (box->owner != panel.Window()) differences << "not owned by the panel's window\n";
  if (IsWindowEnabled(panel.Window())) differences << "the window is still enabled: the box is not modal\n";
  const tsm::test::MessageBoxLook look = tsm::test::InspectMessageBox(box->window);
  if (look.buttonIds != std::vector<int>{IDOK} || look.buttonTexts != std::vector<std::string>{"OK"}) {
    differences << "buttons:";
    for (size_t i = 0; i < look.buttonIds.size(); ++i)
      differences << " " << look.buttonIds[i] << " \"" << look.buttonTexts[i] << "\"";
    differences << "\n";
  }
  if (look.icon) differences << "an icon\n";
  return differences.str();
}

// ---------------------------------------------------------------------------------------------------------------
// Register

// Register finds no install script beside the executable: a message, and nothing else happens.
struct MissingScript {
  const char* name;
  void (*prepare)(const PanelInFolder& panel);
};

class PanelRegisterWithoutScript : public ::testing::TestWithParam<MissingScript> {};

TEST_P(PanelRegisterWithoutScript, SaysTheFileIsNotFoundAndChangesNothing) {
  const ServiceGuard cleanup(kService);
  PanelInFolder panel(PanelExe::Copy);
  GetParam().prepare(panel);
  ASSERT_EQ(panel.ActivePage(), IDC_TBUNREGISTERED);
  const WindowState before = ReadState(panel);
  EXPECT_FALSE(before.lblStatusShown);
  EXPECT_FALSE(before.lblStatus2Shown);

  ASSERT_TRUE(panel.Click(IDC_BTNREGISTER));
  const auto box = panel.WaitForMessageBox();
  ASSERT_TRUE(box) << "no message box";
  EXPECT_EQ(PlainMessageDifferences(panel, box, kNoInstallScript), "");
  EXPECT_EQ(ReadState(panel), before) << "while the box is open";
  ASSERT_TRUE(panel.CloseMessageBox(*box));

  EXPECT_EQ(ReadState(panel), before) << "after the box";
  EXPECT_FALSE(panel.ShowsWaitCursor());
  EXPECT_FALSE(FileExists(panel.Work().PathOf(kMarker)));
  EXPECT_FALSE(FileExists(panel.Program().PathOf(kMarker)));
  EXPECT_EQ(tsm::test::QueryTestServiceState(kService), DWORD{0}) << "something registered the service";
}

INSTANTIATE_TEST_SUITE_P(InstallScript, PanelRegisterWithoutScript,
                         ::testing::Values(MissingScript{"NowhereAtAll", [](const PanelInFolder&) {}},
                                           // The working folder is where the script runs, not where it is looked for.
                                           MissingScript{"OnlyInTheWorkingFolder",
                                                         [](const PanelInFolder& p) {
                                                           p.Work().Write(kInstallScript, kMarkerScript);
                                                         }},
                                           // A folder of that name beside the executable is no script.
                                           MissingScript{"FolderOfThatName",
                                                         [](const PanelInFolder& p) {
                                                           ASSERT_TRUE(CreateDirectoryA(
                                                               p.Program().PathOf(kInstallScript).c_str(), nullptr));
                                                         }}),
                         tsm::test::CaseName());

TEST(PanelRegister, RunsTheScriptBesideTheExeInTheWorkingFolderAndShowsRequestSent) {
  const ServiceGuard cleanup(kService);
  PanelInFolder panel(PanelExe::Copy);
  // Registers the test service as "Torvale", as the real script registers the server, and leaves its marker last.
  panel.Program().Write(kInstallScript, "@echo off\r\nsc create Torvale binPath= \"" +
                                            tsm::test::BuiltFile(tsm::test::kTestServiceExe) +
                                            "\" start= demand\r\necho done> " + kMarker + "\r\n");
  ASSERT_EQ(panel.ActivePage(), IDC_TBUNREGISTERED);
  // Its first probe, which finds no configuration, is over: its result would end the indication too.
  (void)tsm::test::IdleThreads(tsm::test::ProcessGauge(panel.ProcessId()));
  const WindowState before = ReadState(panel);
  ASSERT_FALSE(panel.ShowsWaitCursor());

  ASSERT_TRUE(panel.Click(IDC_BTNREGISTER));
  EXPECT_TRUE(WaitUntil(
      [&] { return panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && panel.IsShown(IDC_LBLREQUESTSENTREGISTERED); }));
  // The request-sent indication, and nothing else, looked at before anything else: the panel's own tick ends it.
  WindowState expected = before;
  expected.lblStatusShown = true;
  expected.lblStatus2Shown = true;
  EXPECT_EQ(ReadState(panel), expected);
  EXPECT_TRUE(panel.IsVisible(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_EQ(panel.Text(IDC_LBLREQUESTSENTUNREGISTERED), "Request sent. Please wait...");
  EXPECT_EQ(panel.Text(IDC_LBLREQUESTSENTREGISTERED), "Request sent. Please wait...");
  EXPECT_TRUE(panel.ShowsWaitCursor());

  ASSERT_TRUE(WaitUntil([&] { return FileExists(panel.Work().PathOf(kMarker)); }))
      << "the script did not run in the panel's working folder";
  EXPECT_FALSE(FileExists(panel.Program().PathOf(kMarker))) << "the script ran in the executable's folder";
  EXPECT_FALSE(panel.FindMessageBox().has_value());

  // The next refresh finds the service the script registered, and its probe, which finds no configuration, ends the
  // wait: the status line and the run button stay as they were.
  ASSERT_TRUE(tsm::test::WaitForServiceState(kService, SERVICE_STOPPED)) << "the script registered no service";
  panel.Tick();
  EXPECT_EQ(panel.ActivePage(), IDC_TBREGISTERED);
  EXPECT_TRUE(ShowsLight(panel, Light::Stopped));
  EXPECT_TRUE(WaitUntil([&] {
    return !panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && !panel.IsShown(IDC_LBLREQUESTSENTREGISTERED);
  })) << "a probe that found no port left the request-sent labels up";
  EXPECT_FALSE(panel.ShowsWaitCursor());
  EXPECT_EQ(panel.StatusText(), tsm::test::kCheckingStatus);
  EXPECT_FALSE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
}

// ---------------------------------------------------------------------------------------------------------------
// Start and Stop accepted

struct Accepted {
  const char* name;
  bool runningBefore;
  int button;
  DWORD reached;
  Light light;
  bool startEnabled;
  bool stopEnabled;
};

class PanelServiceRequest : public ::testing::TestWithParam<Accepted> {};

TEST_P(PanelServiceRequest, ReachesTheStateAndShowsRequestSentUntilTheNextProbe) {
  const Accepted& c = GetParam();
  const ServiceGuard cleanup(kService);
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  if (c.runningBefore) {
    ASSERT_TRUE(tsm::test::StartTestService(kService));
  }
  PanelInFolder panel(PanelExe::Copy);
  ASSERT_EQ(panel.ActivePage(), IDC_TBREGISTERED);
  (void)tsm::test::IdleThreads(tsm::test::ProcessGauge(panel.ProcessId())); // its first probe is over
  ASSERT_FALSE(panel.ShowsWaitCursor());

  ASSERT_TRUE(panel.Click(c.button));
  ASSERT_TRUE(WaitUntil([&] { return panel.IsShown(IDC_LBLREQUESTSENTREGISTERED); })) << "no request-sent label";
  EXPECT_TRUE(panel.IsVisible(IDC_LBLREQUESTSENTREGISTERED));
  EXPECT_TRUE(panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_TRUE(panel.ShowsWaitCursor());
  EXPECT_TRUE(tsm::test::WaitForServiceState(kService, c.reached));
  EXPECT_FALSE(panel.FindMessageBox().has_value());

  panel.Tick();
  EXPECT_TRUE(ShowsLight(panel, c.light));
  EXPECT_EQ(panel.IsEnabled(IDC_BTNSTARTSERVICE), c.startEnabled);
  EXPECT_EQ(panel.IsEnabled(IDC_BTNSTOPSERVICE), c.stopEnabled);
  // The tick's probe finds no configuration, and its result ends the indication all the same.
  EXPECT_TRUE(WaitUntil([&] {
    return !panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && !panel.IsShown(IDC_LBLREQUESTSENTREGISTERED);
  })) << "a probe that found no port left the request-sent labels up";
  EXPECT_FALSE(panel.ShowsWaitCursor());
  EXPECT_EQ(panel.StatusText(), tsm::test::kCheckingStatus);
}

INSTANTIATE_TEST_SUITE_P(
    TorvaleService, PanelServiceRequest,
    ::testing::Values(Accepted{"Start", false, IDC_BTNSTARTSERVICE, SERVICE_RUNNING, Light::Running, false, true},
                      Accepted{"Stop", true, IDC_BTNSTOPSERVICE, SERVICE_STOPPED, Light::Stopped, true, false}),
    tsm::test::CaseName());

// With a server to answer, the status update that follows the next tick ends the indication.
TEST(PanelServiceRequestEnds, WithTheNextStatusUpdate) {
  const ServiceGuard cleanup(kService);
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  const LocalHttpServer server(
      tsm::test::AnswerAndClose(tsm::test::HttpAnswer(std::string("<runningSince>") + kSince + "</runningSince>")));
  PanelInFolder panel(server.Port(), PanelExe::Copy);
  const std::string running = tsm::test::kRunningSince + std::string(kSince);
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusText() == running; })) << panel.StatusText();

  ASSERT_TRUE(panel.Click(IDC_BTNSTARTSERVICE));
  EXPECT_TRUE(tsm::test::WaitForServiceState(kService, SERVICE_RUNNING));
  panel.Tick();
  EXPECT_TRUE(WaitUntil([&] {
    return !panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && !panel.IsShown(IDC_LBLREQUESTSENTREGISTERED);
  })) << "the status update left the request-sent labels up";
  EXPECT_FALSE(panel.ShowsWaitCursor());
  EXPECT_TRUE(ShowsLight(panel, Light::Running));
  EXPECT_EQ(panel.StatusText(), running);
}

// ---------------------------------------------------------------------------------------------------------------
// Start and Stop refused

// A refusal: the service as set up, the button pressed, the message expected and the state the service is left in.
// A service changed behind the panel's back is shown at once, so the refusals that need a window still showing the
// state before (already running, already stopping) cannot be reached through it: the controller's own tests
// (ServiceInfoTests.cpp) have them.
struct Refusal {
  const char* name;
  const char* serviceOptions; // for the test service; nullptr: a binary that does not exist
  DWORD startType;
  bool runningBefore;
  int button;
  const char* message;
  DWORD stateAfter;
};

// What one attempt at a refusal saw. The panel's own 10-second timer cannot be held off from outside; if it ticked
// during the attempt, its refresh may rightly have changed the window, and the attempt is made again.
struct RefusalRound {
  bool timerTicked = false;
  bool clicked = false;
  WindowState before, during, after;
  Light lightBefore = Light::None;
  Light lightAfter = Light::None;
  bool hourglassAfter = false;
  DWORD serviceState = 0;
  std::string boxDifferences;
};

class PanelServiceRefusal : public ::testing::TestWithParam<Refusal> {
protected:
  // Every probe of the panel connects once to this server: one at start, one per tick. A connection beyond those
  // is the panel's own timer. Its answer never changes, so no status update changes the window after the first.
  static constexpr std::int32_t kProbesAtStart = 1;

  RefusalRound Attempt(const Refusal& c) {
    RefusalRound round;
    const std::string binary =
        c.serviceOptions ? TestServiceCommand(c.serviceOptions) : std::string("\"C:\\tsm-missing\\TorvaleServer.exe\"");
    if (!tsm::test::CreateTestService(kService, binary, c.startType)) {
      ADD_FAILURE() << "cannot register the service";
      return round;
    }
    if (c.runningBefore && !tsm::test::StartTestService(kService)) {
      ADD_FAILURE() << "cannot start the service";
      return round;
    }

    const LocalHttpServer server(
        tsm::test::AnswerAndClose(tsm::test::HttpAnswer(std::string("<runningSince>") + kSince + "</runningSince>")));
    PanelInFolder panel(server.Port(), PanelExe::Copy);
    const std::string running = tsm::test::kRunningSince + std::string(kSince);
    if (!WaitUntil([&] { return panel.StatusText() == running; })) {
      ADD_FAILURE() << "no status update at start: " << panel.StatusText();
      return round;
    }
    round.lightBefore = ReadLight(panel);
    round.before = ReadState(panel);
    round.clicked = panel.Click(c.button);
    if (round.clicked) {
      const auto box = panel.WaitForMessageBox();
      round.boxDifferences = PlainMessageDifferences(panel, box, c.message);
      if (box) {
        round.during = ReadState(panel);
        if (!panel.CloseMessageBox(*box)) round.boxDifferences += "the box did not close\n";
      }
      round.after = ReadState(panel);
      round.lightAfter = ReadLight(panel);
      round.hourglassAfter = panel.ShowsWaitCursor();
    }
    round.serviceState = tsm::test::QueryTestServiceState(kService);
    round.timerTicked = server.Connections() > kProbesAtStart;
    return round;
  }
};

TEST_P(PanelServiceRefusal, ShowsTheReasonAndLeavesTheWindowAsItWas) {
  const Refusal& c = GetParam();
  const ServiceGuard cleanup(kService);
  RefusalRound round;
  for (int attempt = 0; attempt < 3; ++attempt) {
    round = Attempt(c);
    if (HasFailure() || !round.timerTicked) break;
  }
  ASSERT_FALSE(HasFailure());
  ASSERT_FALSE(round.timerTicked) << "the panel's own timer ticked during every attempt";

  EXPECT_EQ(round.before.page, IDC_TBREGISTERED);
  ASSERT_TRUE(round.clicked) << "the button was not enabled";
  EXPECT_EQ(round.boxDifferences, "");
  EXPECT_EQ(round.during, round.before) << "while the box is open";
  EXPECT_EQ(round.after, round.before) << "after the box";
  EXPECT_EQ(round.lightAfter, round.lightBefore);
  EXPECT_FALSE(round.after.lblStatusShown);
  EXPECT_FALSE(round.after.lblStatus2Shown);
  EXPECT_FALSE(round.hourglassAfter);
  EXPECT_EQ(round.serviceState, c.stateAfter);
}

INSTANTIATE_TEST_SUITE_P(
    TorvaleService, PanelServiceRefusal,
    ::testing::Values(
        Refusal{"StartDisabled", "", SERVICE_DISABLED, false, IDC_BTNSTARTSERVICE,
                "Could not start the service. The service has been disabled.", SERVICE_STOPPED},
        Refusal{"StartWithoutBinary", nullptr, SERVICE_DEMAND_START, false, IDC_BTNSTARTSERVICE,
                "Could not start the service. Unknown error occurred", SERVICE_STOPPED},
        Refusal{"StopRefusedByTheService", "--refuse-stop", SERVICE_DEMAND_START, true, IDC_BTNSTOPSERVICE,
                "Could not stop the service. The requested control code is not valid, or it is unacceptable to the "
                "service.",
                SERVICE_RUNNING}),
    tsm::test::CaseName());

// ---------------------------------------------------------------------------------------------------------------
// The window behind a message box

TEST(PanelBehindMessageBox, GoesOnRefreshingAndWorksAfterwards) {
  const ServiceGuard cleanup(kService);
  const std::int32_t port = tsm::test::FreePort();
  PanelInFolder panel(port, PanelExe::Copy);
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusText() == tsm::test::kNotRunning; })) << panel.StatusText();

  ASSERT_TRUE(panel.Click(IDC_BTNREGISTER));
  const auto box = panel.WaitForMessageBox();
  ASSERT_TRUE(box) << "no message box";
  EXPECT_EQ(PlainMessageDifferences(panel, box, kNoInstallScript), "");

  // Behind the box the service is registered and the server comes up; the next tick goes through the box's own
  // message loop to the window, whose refresh and status update both land while the box stays open.
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  const LocalHttpServer server(
      tsm::test::AnswerAndClose(tsm::test::HttpAnswer(std::string("<runningSince>") + kSince + "</runningSince>")),
      static_cast<std::uint16_t>(port));
  panel.PostTick();
  EXPECT_TRUE(WaitUntil([&] { return panel.ActivePage() == IDC_TBREGISTERED; })) << "no refresh behind the box";
  const std::string running = tsm::test::kRunningSince + std::string(kSince);
  EXPECT_TRUE(WaitUntil([&] { return panel.StatusText() == running; })) << panel.StatusText();
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), "Stop Torvale");
  EXPECT_TRUE(IsWindow(box->window)) << "the box went by itself";
  EXPECT_FALSE(IsWindowEnabled(panel.Window()));

  ASSERT_TRUE(panel.CloseMessageBox(*box));
  EXPECT_TRUE(IsWindowEnabled(panel.Window()));
  EXPECT_EQ(ReadLight(panel), Light::Stopped);

  // The window still takes clicks and ticks.
  ASSERT_TRUE(panel.Click(IDC_BTNSTARTSERVICE));
  EXPECT_TRUE(tsm::test::WaitForServiceState(kService, SERVICE_RUNNING));
  panel.Tick();
  // The change may have been shown before the tick (the watch), and the picture is painted in the panel's own time.
  EXPECT_TRUE(ShowsLight(panel, Light::Running));
  EXPECT_TRUE(panel.IsEnabled(IDC_BTNSTOPSERVICE));
}

} // namespace
