// The panel's window as it opens: frame, layout, texts and the state before the first status update. Runs the real
// panel under Wine through PanelDriver; the service "Torvale" must not exist in the prefix.
#include "support/PanelDriver.h"

#include "win32/ServiceHandle.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using tsm::test::Bounds;
using tsm::test::BuiltFile;
using tsm::test::ChildProcess;
using tsm::test::InspectMessageBox;
using tsm::test::kEventBoundMs;
using tsm::test::kPanelExe;
using tsm::test::PanelDriver;
using tsm::test::PanelInFolder;
using tsm::test::PanelOptions;
using tsm::test::ScratchFolder;
using tsm::test::WaitUntil;

bool TorvaleServiceExists() {
  const tsm::ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  return manager && tsm::ServiceHandle(OpenServiceA(manager.Get(), "Torvale", SERVICE_QUERY_STATUS));
}

// One panel for the whole suite: these tests only look. Its working folder is empty, so no port is ever found and
// no status update ever replaces the start state.
class PanelAtStart : public ::testing::Test {
protected:
  static void SetUpTestSuite() { panel_ = std::make_unique<PanelInFolder>(); }
  static void TearDownTestSuite() { panel_.reset(); }
  void SetUp() override { ASSERT_FALSE(TorvaleServiceExists()) << "a service \"Torvale\" was left in this prefix"; }

  static PanelDriver& Panel() { return *panel_; }

private:
  static inline std::unique_ptr<PanelInFolder> panel_;
};

TEST_F(PanelAtStart, MainWindowHasItsCaptionAndClass) {
  EXPECT_EQ(Panel().Caption(), "Torvale Service Manager");
  EXPECT_EQ(Panel().ClassName(0), "TfrmMain");
}

TEST_F(PanelAtStart, ClientAreaIs369By295) {
  const SIZE size = Panel().ClientSize();
  EXPECT_EQ(size.cx, 369);
  EXPECT_EQ(size.cy, 295);
}

TEST_F(PanelAtStart, OpensCentredOnTheScreen) {
  const RECT r = Panel().WindowRect();
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  // Twice the margin on each side; an odd difference leaves one pixel to either side.
  EXPECT_LE(std::abs(r.left - (screenWidth - r.right)), 1) << r.left << ".." << r.right << " of " << screenWidth;
  EXPECT_LE(std::abs(r.top - (screenHeight - r.bottom)), 1) << r.top << ".." << r.bottom << " of " << screenHeight;
}

TEST_F(PanelAtStart, FrameCannotBeResizedMinimisedOrMaximised) {
  const LONG_PTR style = Panel().Style(0);
  EXPECT_EQ(style & WS_THICKFRAME, 0);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
  EXPECT_EQ(style & WS_MINIMIZEBOX, 0);
  EXPECT_NE(style & WS_CAPTION, 0);

  // Ask the window itself what its edges are: none may offer a sizing handle.
  const RECT r = Panel().WindowRect();
  const int midX = (r.left + r.right) / 2;
  const int midY = (r.top + r.bottom) / 2;
  const POINT edges[] = {{r.left, midY},       {r.right - 1, midY},         {midX, r.top},
                         {midX, r.bottom - 1}, {r.right - 1, r.bottom - 1}, {r.left, r.top}};
  for (const POINT& p : edges) {
    DWORD_PTR hit = 0;
    ASSERT_TRUE(SendMessageTimeoutA(Panel().Window(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y), SMTO_NORMAL,
                                    tsm::test::kAnswerBoundMs, &hit));
    EXPECT_TRUE(hit != HTSIZE && (hit < HTSIZEFIRST || hit > HTSIZELAST))
        << "hit test " << hit << " at " << p.x << "," << p.y;
  }
}

TEST_F(PanelAtStart, StatusBarReadsCheckingStatus) { EXPECT_EQ(Panel().StatusText(), tsm::test::kCheckingStatus); }

TEST_F(PanelAtStart, UnregisteredPageIsOnShow) {
  EXPECT_EQ(Panel().ActivePage(), IDC_TBUNREGISTERED);
  EXPECT_TRUE(Panel().IsVisible(IDC_TBUNREGISTERED));
  EXPECT_FALSE(Panel().IsVisible(IDC_TBREGISTERED));
  EXPECT_TRUE(Panel().IsVisible(IDC_LBLNOTREGISTERED));
  EXPECT_TRUE(Panel().IsVisible(IDC_BTNREGISTER));
  EXPECT_TRUE(Panel().IsVisible(IDC_BTNSERVERSTARTSTOP));
}

TEST_F(PanelAtStart, LabelExplainsBothOptions) {
  EXPECT_EQ(Panel().Text(IDC_LBLNOTREGISTERED),
            "Torvale is not registered as a service with the operating system.\r\n\r\n"
            "You have the option of registering as service or running it as a normal "
            "application.");
}

TEST_F(PanelAtStart, RunButtonWaitsDisabledForTheFirstProbe) {
  EXPECT_FALSE(Panel().IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(Panel().Text(IDC_BTNSERVERSTARTSTOP), "Run Torvale");
  EXPECT_TRUE(Panel().IsEnabled(IDC_BTNREGISTER));
}

TEST_F(PanelAtStart, RegisterButtonShowsThePlugGlyph) {
  EXPECT_TRUE(Panel().ShowsPicture(IDC_BTNREGISTER, IDB_GLYPH_REGISTER));
  EXPECT_FALSE(Panel().ShowsPicture(IDC_BTNREGISTER, IDB_GLYPH_START));
}

TEST_F(PanelAtStart, RequestSentLabelsAreHidden) {
  // Their own flag, not just their page's: the registered page is hidden anyway.
  EXPECT_FALSE(Panel().IsShown(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_FALSE(Panel().IsShown(IDC_LBLREQUESTSENTREGISTERED));
}

TEST_F(PanelAtStart, RequestSentNoticesKeepToOneLine) {
  // In bold Tahoma the notice is a pixel wider than its 13-pixel-high label: a wrapping label would move "wait..."
  // onto a second line that cannot be seen.
  for (int id : {IDC_LBLREQUESTSENTUNREGISTERED, IDC_LBLREQUESTSENTREGISTERED})
    EXPECT_EQ(Panel().Style(id) & SS_TYPEMASK, SS_LEFTNOWORDWRAP) << "control " << id;
}

TEST_F(PanelAtStart, PictureHoldersAreNoWindows) {
  // The pictures the window keeps for the traffic light and the run button are never shown: the pages hold only
  // the controls that can be.
  EXPECT_EQ(Panel().ChildIds(IDC_TBUNREGISTERED),
            (std::vector<int>{IDC_LBLNOTREGISTERED, IDC_BTNREGISTER, IDC_BTNSERVERSTARTSTOP,
                              IDC_LBLREQUESTSENTUNREGISTERED}));
  EXPECT_EQ(Panel().ChildIds(IDC_TBREGISTERED),
            (std::vector<int>{IDC_BTNSTARTSERVICE, IDC_BTNSTOPSERVICE, IDC_IMGSTATUS, IDC_LBLREQUESTSENTREGISTERED}));
}

TEST_F(PanelAtStart, UpperButtonComesFirstInTabOrderOnEachPage) {
  struct Page {
    int page;
    int upper;
    int lower;
  };
  for (const Page& p : {Page{IDC_TBUNREGISTERED, IDC_BTNREGISTER, IDC_BTNSERVERSTARTSTOP},
                        Page{IDC_TBREGISTERED, IDC_BTNSTARTSERVICE, IDC_BTNSTOPSERVICE}}) {
    const std::vector<int> order = Panel().ChildIds(p.page, true);
    const auto upper = std::find(order.begin(), order.end(), p.upper);
    const auto lower = std::find(order.begin(), order.end(), p.lower);
    ASSERT_NE(upper, order.end()) << "button " << p.upper << " is no tab stop";
    ASSERT_NE(lower, order.end()) << "button " << p.lower << " is no tab stop";
    EXPECT_LT(upper, lower) << "page " << p.page;
  }
}

TEST_F(PanelAtStart, HeaderComesBeforeThePageControl) {
  const std::vector<int> order = Panel().ChildIds(0);
  const auto header = std::find(order.begin(), order.end(), IDC_PNLHEADER);
  const auto pages = std::find(order.begin(), order.end(), IDC_PGMAIN);
  ASSERT_NE(header, order.end());
  ASSERT_NE(pages, order.end());
  EXPECT_LT(header, pages);
}

TEST_F(PanelAtStart, BothPagesLiveInThePageControl) {
  EXPECT_EQ(Panel().ParentId(IDC_TBUNREGISTERED), IDC_PGMAIN);
  EXPECT_EQ(Panel().ParentId(IDC_TBREGISTERED), IDC_PGMAIN);
}

TEST(PanelLifetime, ClosingTheWindowEndsTheProcess) {
  PanelInFolder panel;
  ASSERT_TRUE(panel.IsRunning());
  EXPECT_TRUE(panel.Close()) << "the panel had to be killed";
  EXPECT_EQ(panel.ExitCode(), 0u);
}

// A window that cannot be made is not left half made. In a copy of the panel whose register button's picture is no
// picture, creating that button fails: no main window may stay, the one start-up error box comes up, and once it is
// closed the process ends with 0.
TEST(PanelLifetime, AFailedCreationShowsOneErrorBoxAndEnds) {
  ScratchFolder folder;
  const std::string copy = folder.CopyIn(BuiltFile(kPanelExe));
  const HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
  ASSERT_NE(update, nullptr) << GetLastError();
  // Four bytes that are no bitmap, in place of the picture (Wine's UpdateResource keeps a resource it is given no
  // data for, where Windows would delete it). windres files the pictures under US English.
  char notAPicture[4] = {};
  ASSERT_TRUE(UpdateResourceA(update, RT_BITMAP, MAKEINTRESOURCEA(IDB_GLYPH_REGISTER),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), notAPicture, sizeof notAPicture));
  ASSERT_TRUE(EndUpdateResourceA(update, FALSE)) << GetLastError();

  ChildProcess panel(copy, folder.Path());
  ASSERT_TRUE(panel.Started());
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    box = FindWindowA("#32770", "Torvale Service Manager");
    return box && IsWindowVisible(box);
  })) << "no error box";
  DWORD boxProcess = 0;
  GetWindowThreadProcessId(box, &boxProcess);
  EXPECT_EQ(boxProcess, GetProcessId(panel.Handle()));
  EXPECT_TRUE(InspectMessageBox(box).icon);
  EXPECT_EQ(FindWindowA("TfrmMain", nullptr), nullptr) << "a main window is up behind the box";

  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  // A second box, or a window that stays, keeps the process running.
  EXPECT_EQ(panel.WaitForExit(kEventBoundMs), 0u) << "the panel went on after its error box";
}

// --- The layout, control by control ---------------------------------------------------------------------------

struct Placement {
  const char* name;
  int id;
  int parent;            // 0: the main window
  const char* className; // nullptr where the class is the program's own
  Bounds bounds;
  const char* text; // nullptr: not checked
};

constexpr char kRequestSent[] = "Request sent. Please wait...";

const Placement kLayout[] = {
    {"pnlHeader", IDC_PNLHEADER, 0, nullptr, {0, 0, 369, 41}, "    Torvale Service Manager"},
    {"pgMain", IDC_PGMAIN, 0, nullptr, {0, 41, 369, 230}, nullptr},
    {"stbMain", IDC_STBMAIN, 0, "msctls_statusbar32", {0, 271, 369, 24}, nullptr},
    {"lblNotRegistered", IDC_LBLNOTREGISTERED, IDC_TBUNREGISTERED, "Static", {10, 15, 171, 191}, nullptr},
    {"btnRegister", IDC_BTNREGISTER, IDC_TBUNREGISTERED, "Button", {215, 15, 136, 61}, "Register Service"},
    {"btnServerStartStop", IDC_BTNSERVERSTARTSTOP, IDC_TBUNREGISTERED, "Button", {215, 90, 136, 61}, "Run Torvale"},
    {"lblRequestSentUnregistered",
     IDC_LBLREQUESTSENTUNREGISTERED,
     IDC_TBUNREGISTERED,
     "Static",
     {197, 165, 154, 13},
     kRequestSent},
    {"imgStatus", IDC_IMGSTATUS, IDC_TBREGISTERED, nullptr, {20, 3, 141, 216}, nullptr},
    {"lblRequestSentRegistered",
     IDC_LBLREQUESTSENTREGISTERED,
     IDC_TBREGISTERED,
     "Static",
     {197, 165, 154, 13},
     kRequestSent},
    {"btnStartService", IDC_BTNSTARTSERVICE, IDC_TBREGISTERED, "Button", {215, 15, 136, 61}, "Start Service"},
    {"btnStopService", IDC_BTNSTOPSERVICE, IDC_TBREGISTERED, "Button", {215, 90, 136, 61}, "Stop Service"},
};

TEST_F(PanelAtStart, EveryControlSitsWhereTheLayoutPutsIt) {
  for (const Placement& p : kLayout) {
    SCOPED_TRACE(p.name);
    if (!Panel().FindControl(p.id)) {
      ADD_FAILURE() << "no control " << p.id;
      continue;
    }
    EXPECT_EQ(Panel().ParentId(p.id), p.parent);
    EXPECT_EQ(Panel().BoundsInParent(p.id), p.bounds);
    if (p.className) {
      EXPECT_EQ(Panel().ClassName(p.id), p.className);
    }
    if (p.text) {
      EXPECT_EQ(Panel().Text(p.id), p.text);
    }
  }
}

} // namespace
