// The panel told to a screen reader and worked by the keyboard alone: accessible names read through oleacc as a
// screen reader reads them, and keystrokes posted to the window as the keyboard would send them. The panel is a
// copy with no scripts beside it, so pressing Register only says the install script is not found.
#include "support/PanelFromOutside.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>

namespace {

using tsm::test::PanelDriver;
using tsm::test::ScratchFolder;

class PanelAccess : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    exeFolder_ = std::make_unique<ScratchFolder>();
    workingFolder_ = std::make_unique<ScratchFolder>();
    tsm::test::PanelOptions options;
    options.exePath = exeFolder_->CopyIn(tsm::test::BuiltFile(tsm::test::kPanelExe));
    options.workingFolder = workingFolder_->Path(); // no port: the status line stays as it started
    panel_ = std::make_unique<PanelDriver>(options);
  }
  static void TearDownTestSuite() {
    panel_.reset();
    exeFolder_.reset();
    workingFolder_.reset();
  }
  static PanelDriver& Panel() { return *panel_; }
  static const ScratchFolder& Work() { return *workingFolder_; }

  static HWND Focus() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(Panel().ThreadId(), &info) ? info.hwndFocus : nullptr;
  }

private:
  static inline std::unique_ptr<ScratchFolder> exeFolder_, workingFolder_;
  static inline std::unique_ptr<PanelDriver> panel_;
};

TEST_F(PanelAccess, ButtonsAndStatusBarAreNamedByWhatTheyShow) {
  EXPECT_EQ(tsm::test::AccessibleName(Panel().Control(IDC_BTNREGISTER)), "Register Service");
  EXPECT_EQ(tsm::test::AccessibleName(Panel().Control(IDC_BTNSERVERSTARTSTOP)), "Run Torvale");
  EXPECT_EQ(tsm::test::AccessibleName(Panel().Control(IDC_STBMAIN)), tsm::test::kCheckingStatus);
}

// As in a dialog box, the focus is on the page's one enabled button (Run Torvale waits for a probe that never comes)
// from the start, with no Tab pressed, and it comes back to it after the message box the button brings and after the
// window has been switched away from and back to. Space, and then Enter, each press it.
TEST_F(PanelAccess, FocusStaysOnTheButtonThatSpaceAndEnterPress) {
  const HWND registerButton = Panel().Control(IDC_BTNREGISTER);
  // A window started while another of the session is in front (once seen early in a full run) is not activated,
  // and so has no focus to give: it is brought to the front as a click would, which leaves an active one alone.
  if (GetForegroundWindow() != Panel().Window()) {
    std::cout << "[ note     ] the panel started behind another window; activating it\n";
    SetForegroundWindow(Panel().Window());
  }
  ASSERT_TRUE(tsm::test::WaitUntil([&] { return Focus() == registerButton; })) << "not focused at start";
  struct Press {
    const char* name;
    void (*post)(HWND focus);
  };
  const Press presses[] = {
      {"Space",
       [](HWND focus) {
         PostMessageA(focus, WM_KEYDOWN, VK_SPACE, 0x00390001);
         PostMessageA(focus, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
       }},
      {"Enter", [](HWND focus) { PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 0x001C0001); }},
  };
  for (const Press& press : presses) {
    SCOPED_TRACE(press.name);
    press.post(registerButton);
    const auto box = Panel().WaitForMessageBox();
    ASSERT_TRUE(box) << "the key did not press the button";
    EXPECT_EQ(box->text, "Install service file is not found. Cannot install Torvale service.");
    ASSERT_TRUE(Panel().CloseMessageBox(*box));
    EXPECT_TRUE(tsm::test::WaitUntil([&] { return Focus() == registerButton; })) << "not back after the box";
  }

  // Away to a window of this process, and back.
  const HWND other = CreateWindowExA(0, "STATIC", "elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                     nullptr, nullptr);
  ASSERT_TRUE(other);
  SetForegroundWindow(other);
  EXPECT_TRUE(tsm::test::WaitUntil([&] { return Focus() != registerButton; })) << "the panel kept the focus";
  SetForegroundWindow(Panel().Window());
  EXPECT_TRUE(tsm::test::WaitUntil([&] { return Focus() == registerButton; })) << "not back after reactivation";
  DestroyWindow(other);
}

// Why the status line says what it says, for the keyboard and for a screen reader: the status bar's accessible
// description, brought up to date by each probe, and the tooltip that F1 brings up at the bar until the next key.
TEST_F(PanelAccess, TheExplanationIsTheBarsDescriptionAndF1ShowsIt) {
  const HWND bar = Panel().Control(IDC_STBMAIN);
  const std::string noFile = "No configuration file at " + Work().PathOf("config\\AppConfig.xml");
  EXPECT_TRUE(tsm::test::WaitUntil([&] { return tsm::test::AccessibleDescription(bar) == noFile; }))
      << tsm::test::AccessibleDescription(bar);
  EXPECT_EQ(tsm::test::AccessibleName(bar), tsm::test::kCheckingStatus);

  const HWND focus = Panel().Control(IDC_BTNREGISTER);
  PostMessageA(focus, WM_KEYDOWN, VK_F1, 0x003B0001);
  EXPECT_TRUE(tsm::test::WaitUntil([&] { return tsm::test::ShownTooltip(Panel()) == noFile; }))
      << tsm::test::ShownTooltip(Panel()).value_or("<no tooltip on show>");
  PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_TRUE(tsm::test::WaitUntil([&] { return !tsm::test::ShownTooltip(Panel()); })) << "Escape left the tip up";

  tsm::test::WriteConfig(Work(), "<c><parameters/></c>");
  Panel().Tick();
  EXPECT_TRUE(tsm::test::WaitUntil([&] {
    return tsm::test::AccessibleDescription(bar).starts_with("The configuration has no httpPort2 or httpPort parameter");
  })) << tsm::test::AccessibleDescription(bar);
}

} // namespace
