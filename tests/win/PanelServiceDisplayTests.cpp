// The panel's service display against Wine's real service manager: the service "Torvale" is registered with the
// test service binary and moved through its states, and the real panel is ticked and read from outside. The panel's
// working folder is empty: no port is ever found, so no status update interferes; where the panel's own tick is
// the clock, a server counts its probes.
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/PanelFromOutside.h"
#include "support/TestServices.h"
#include "support/CaseName.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>

namespace {


using tsm::test::Light;
using tsm::test::PanelDriver;
using tsm::test::PanelInFolder;
using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)
using tsm::test::TestServiceCommand;
using tsm::test::WaitUntil;

constexpr char kService[] = "Torvale";

struct Display {
  Light light;
  bool startEnabled;
  bool stopEnabled;
  const char* words; // the traffic light's accessible name
};

// The registered page with the given picture and button states. The picture is painted in the panel's own time,
// so it is waited for (bounded) before it is compared.
void ExpectRegisteredPage(PanelDriver& panel, const Display& want) {
  EXPECT_EQ(panel.ActivePage(), IDC_TBREGISTERED);
  EXPECT_TRUE(panel.IsVisible(IDC_IMGSTATUS));
  (void)WaitUntil([&] { return panel.StatusLight() == want.light; });
  EXPECT_EQ(panel.StatusLight(), want.light);
  EXPECT_EQ(tsm::test::AccessibleName(panel.Control(IDC_IMGSTATUS)), want.words);
  EXPECT_EQ(panel.IsEnabled(IDC_BTNSTARTSERVICE), want.startEnabled);
  EXPECT_EQ(panel.IsEnabled(IDC_BTNSTOPSERVICE), want.stopEnabled);
  // An enabled button shows its glyph in colour (a disabled one a greyed form, which is not compared) once it is
  // next painted.
  if (want.startEnabled) {
    EXPECT_TRUE(WaitUntil([&] { return panel.ShowsPicture(IDC_BTNSTARTSERVICE, IDB_GLYPH_START_SERVICE); }));
  }
  if (want.stopEnabled) {
    EXPECT_TRUE(WaitUntil([&] { return panel.ShowsPicture(IDC_BTNSTOPSERVICE, IDB_GLYPH_STOP_SERVICE); }));
  }
}

constexpr Display kStopped{Light::Stopped, true, false, "Service stopped"};
constexpr Display kRunning{Light::Running, false, true, "Service running"};
constexpr Display kPending{Light::Pending, false, false, "Service changing state or paused"};

TEST(PanelServiceDisplay, StoppedServiceAtStartShowsTheRedLightAtOnce) {
  const tsm::test::ServiceGuard cleanup(kService);
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  PanelInFolder panel;
  // No tick: window creation refreshes the display once.
  ExpectRegisteredPage(panel, kStopped);
  EXPECT_EQ(panel.StatusText(), tsm::test::kCheckingStatus);
}

TEST(PanelServiceDisplay, FollowsTheServiceFromRegistrationToDeletionAndBack) {
  const tsm::test::ServiceGuard cleanup(kService);
  PanelInFolder panel;
  ASSERT_EQ(panel.ActivePage(), IDC_TBUNREGISTERED);

  // Windows reports the registration, and Wine's tick finds it; the tick here makes sure.
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  panel.Tick();
  {
    SCOPED_TRACE("registered, stopped");
    ExpectRegisteredPage(panel, kStopped);
  }
  panel.Tick();
  {
    SCOPED_TRACE("stopped, second tick");
    ExpectRegisteredPage(panel, kStopped);
  }

  ASSERT_TRUE(tsm::test::StartTestService(kService));
  panel.Tick();
  {
    SCOPED_TRACE("running");
    ExpectRegisteredPage(panel, kRunning);
  }

  ASSERT_TRUE(tsm::test::PauseTestService(kService));
  panel.Tick();
  {
    SCOPED_TRACE("paused");
    ExpectRegisteredPage(panel, kPending);
  }

  ASSERT_TRUE(tsm::test::StopTestService(kService));
  panel.Tick();
  {
    SCOPED_TRACE("stopped again");
    ExpectRegisteredPage(panel, kStopped);
  }

  // Removed from outside, with the panel's watch holding the service's handle: the next tick shows it gone.
  ASSERT_TRUE(tsm::test::MarkTestServiceForDeletion(kService));
  panel.Tick();
  EXPECT_EQ(panel.ActivePage(), IDC_TBUNREGISTERED) << "deleted";
  EXPECT_TRUE(panel.IsVisible(IDC_BTNREGISTER));
  ASSERT_TRUE(tsm::test::DeleteTestService(kService)); // gone already; the name is free again

  // Registered again in the state last shown: the page comes back at the first tick, not at the next change.
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  panel.Tick();
  {
    SCOPED_TRACE("registered again, stopped");
    ExpectRegisteredPage(panel, kStopped);
  }
}

TEST(PanelServiceDisplay, ServiceThatDisappearsWhileRunningShowsTheUnregisteredPage) {
  const tsm::test::ServiceGuard cleanup(kService);
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  ASSERT_TRUE(tsm::test::StartTestService(kService));
  PanelInFolder panel;
  ExpectRegisteredPage(panel, kRunning);

  ASSERT_TRUE(tsm::test::DeleteTestService(kService));
  panel.Tick();
  EXPECT_EQ(panel.ActivePage(), IDC_TBUNREGISTERED);
}

TEST(PanelServiceDisplay, StoppingShowsGreenThenAmberThenRed) {
  const tsm::test::ServiceGuard cleanup(kService);
  // Long enough to tick and read the panel while the service is still stopping; the test waits for the end.
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand("--stop-delay 4000")));
  ASSERT_TRUE(tsm::test::StartTestService(kService));
  PanelInFolder panel;
  {
    SCOPED_TRACE("running");
    ExpectRegisteredPage(panel, kRunning);
  }

  ASSERT_TRUE(tsm::test::SendTestServiceControl(kService, SERVICE_CONTROL_STOP));
  ASSERT_EQ(tsm::test::QueryTestServiceState(kService), DWORD{SERVICE_STOP_PENDING});
  panel.Tick();
  ASSERT_EQ(tsm::test::QueryTestServiceState(kService), DWORD{SERVICE_STOP_PENDING}) << "stopped before the tick";
  {
    SCOPED_TRACE("stop pending");
    ExpectRegisteredPage(panel, kPending);
  }

  ASSERT_TRUE(tsm::test::WaitForServiceState(kService, SERVICE_STOPPED));
  panel.Tick();
  {
    SCOPED_TRACE("stopped");
    ExpectRegisteredPage(panel, kStopped);
  }
}

// A change made outside the panel shows before the panel's next tick: the service is started right after the
// first probe reached the server, and the light turns green while that server has still seen only that probe. The
// tick, 10 s after the start, would start the second.
TEST(PanelServiceWatch, AChangeShowsBeforeTheNextTick) {
  const tsm::test::ServiceGuard cleanup(kService);
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  const tsm::test::LocalHttpServer server(tsm::test::AnswerAndClose(tsm::test::HttpAnswer("")));
  const PanelInFolder panel(server.Port());
  ASSERT_TRUE(server.WaitForConnections(1, tsm::test::kEventBoundMs)) << "the first probe never came";
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusLight() == Light::Stopped; }));

  ASSERT_TRUE(tsm::test::RequestTestServiceStart(kService));
  bool beforeTheTick = false;
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (server.Connections() > 1) return true;
        beforeTheTick = panel.StatusLight() == Light::Running && server.Connections() == 1;
        return beforeTheTick;
      },
      tsm::test::kStartBoundMs))
      << "neither the light nor the tick";
  EXPECT_TRUE(beforeTheTick) << "the light waited for the tick";
}

// Closing the window while the watch waits for the service's next change: the process ends at once and cleanly. A
// crash on the way out would end it with code 5 (crash dialogs are off in our sessions), a hang would have it killed.
TEST(PanelServiceWatch, ClosingWhileAChangeIsAwaitedEndsTheProcessCleanly) {
  const tsm::test::ServiceGuard cleanup(kService);
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  ASSERT_TRUE(tsm::test::StartTestService(kService));
  PanelInFolder panel;
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusLight() == Light::Running; }));

  EXPECT_TRUE(panel.Close()) << "the panel had to be killed";
  EXPECT_EQ(panel.ExitCode(), 0u);
}

// Every in-between state shows the amber light with both buttons disabled. The test service holds each of these
// states for as long as the test needs.
struct HeldState {
  const char* name;
  DWORD state;
};

class PanelPendingState : public ::testing::TestWithParam<HeldState> {};

TEST_P(PanelPendingState, ShowsAmberWithBothButtonsDisabled) {
  const DWORD state = GetParam().state;
  const tsm::test::ServiceGuard cleanup(kService);
  ASSERT_TRUE(tsm::test::CreateTestService(kService, TestServiceCommand()));
  ASSERT_TRUE(tsm::test::StartTestService(kService));
  PanelInFolder panel;
  ExpectRegisteredPage(panel, kRunning);

  ASSERT_TRUE(tsm::test::SendTestServiceControl(kService, tsm::test::kHoldStateControl + state));
  ASSERT_TRUE(tsm::test::WaitForServiceState(kService, state));
  panel.Tick();
  ExpectRegisteredPage(panel, kPending);
}

INSTANTIATE_TEST_SUITE_P(HeldByTheService, PanelPendingState,
                         ::testing::Values(HeldState{"StartPending", SERVICE_START_PENDING},
                                           HeldState{"ContinuePending", SERVICE_CONTINUE_PENDING},
                                           HeldState{"PausePending", SERVICE_PAUSE_PENDING},
                                           HeldState{"Paused", SERVICE_PAUSED}),
                         tsm::test::CaseName());

} // namespace
