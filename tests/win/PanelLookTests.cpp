// The panel as a current Windows shows it: at the display scale the session was started with, after WM_DPICHANGED,
// and in the visual style, switched off under the running panel. Not run by ctest directly: look-and-scale.sh
// starts a Wine session per scale (Wine's LogPixels) and runs the suites that belong to it; each process shares
// one panel with the service "Torvale" registered and stopped, so that the red light is on show.
#include "support/PanelFromOutside.h"
#include "support/TestServices.h"

#include "panel/MainFormLayout.h"
#include "panel/VisualStyle.h"
#include "res/resource.h"
#include "win32/GdiHandles.h"

#include <gtest/gtest.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace {

using tsm::test::PanelDriver;
using tsm::test::Pixels;

int Scale(int pixels96, int dpi) { return MulDiv(pixels96, dpi, 96); }

int SessionDpi() {
  const tsm::WindowDC screen(nullptr);
  return GetDeviceCaps(screen.Get(), LOGPIXELSY);
}

// The picture variant drawn for a scale the panel carries pictures for.
int PictureAt(int id, int dpi) { return id + (dpi <= 96 ? 0 : dpi <= 120 ? 1 : dpi <= 144 ? 2 : 3) * IDB_SCALE_STEP; }

class LookPanel {
public:
  LookPanel() : guard_("Torvale") {
    if (!tsm::test::CreateTestService("Torvale", tsm::test::TestServiceCommand()))
      throw std::runtime_error("cannot register the service");
    tsm::test::PanelOptions options;
    options.workingFolder = folder_.Path(); // empty: no port, so no status update interferes
    panel_ = std::make_unique<PanelDriver>(options);
  }
  PanelDriver& Get() { return *panel_; }

private:
  tsm::test::ServiceGuard guard_;
  tsm::test::ScratchFolder folder_;
  std::unique_ptr<PanelDriver> panel_;
};

class PanelLook : public ::testing::Test {
protected:
  static void TearDownTestSuite() { shared_.reset(); }
  static PanelDriver& Panel() {
    if (!shared_) shared_ = std::make_unique<LookPanel>();
    return shared_->Get();
  }

private:
  static inline std::unique_ptr<LookPanel> shared_;
};

// The window, every control, the traffic light and the glyphs at `dpi`: the 96-DPI design scaled, within the pixel
// that rounding may give either way, and the pictures drawn for that scale.
void ExpectLaidOutAt(PanelDriver& panel, int dpi) {
  const SIZE client = panel.ClientSize();
  EXPECT_NEAR(client.cx, Scale(tsm::kClientWidth, dpi), 1);
  EXPECT_NEAR(client.cy, Scale(tsm::kClientHeight, dpi), 1);
  for (const tsm::LayoutRow& row : tsm::kMainFormLayout) {
    SCOPED_TRACE("control " + std::to_string(row.id));
    const tsm::test::Bounds b = panel.BoundsInParent(row.id);
    EXPECT_NEAR(b.left, Scale(row.bounds.left, dpi), 1);
    EXPECT_NEAR(b.top, Scale(row.bounds.top, dpi), 1);
    EXPECT_NEAR(b.width, Scale(row.bounds.width, dpi), 1);
    EXPECT_NEAR(b.height, Scale(row.bounds.height, dpi), 1);
  }

  // The red lamp lit at the top, the green one dark at the bottom, and the housing down to the frame's foot: the
  // picture fills its frame at this scale.
  (void)tsm::test::WaitUntil(
      [&] { return panel.CaptureControl(IDC_IMGSTATUS).At(Scale(66, dpi), Scale(38, dpi)) == 0xFF2828u; });
  const Pixels light = panel.CaptureControl(IDC_IMGSTATUS);
  EXPECT_EQ(light.At(Scale(66, dpi), Scale(38, dpi)), 0xFF2828u) << "lit red centre";
  EXPECT_EQ(light.At(Scale(66, dpi), Scale(172, dpi)), 0x08481Cu) << "dark green lamp";
  EXPECT_EQ(light.At(Scale(66, dpi), Scale(200, dpi)), 0x38383Cu) << "housing above the foot";

  EXPECT_TRUE(tsm::test::WaitUntil(
      [&] { return panel.ShowsPicture(IDC_BTNSTARTSERVICE, PictureAt(IDB_GLYPH_START_SERVICE, dpi)); }));
  if (dpi > 96) {
    EXPECT_FALSE(panel.ShowsPicture(IDC_BTNSTARTSERVICE, IDB_GLYPH_START_SERVICE)) << "the 100 % glyph";
  }
}

TEST_F(PanelLook, LaysOutAtTheSessionsScale) {
  const char* expected = std::getenv("TSM_EXPECT_DPI");
  ASSERT_TRUE(expected) << "run by look-and-scale.sh, which sets the session's scale";
  ASSERT_EQ(SessionDpi(), std::atoi(expected)) << "the session did not take the scale";
  ExpectLaidOutAt(Panel(), SessionDpi());
}

// --- The visual style, compared with what the theme engine and the classic drawing make of the same button ---

Pixels Render(SIZE size, const std::function<void(HDC, RECT)>& draw) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const tsm::UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap) throw std::runtime_error("no bitmap to draw the reference face on");
  {
    const tsm::MemoryDC dc(nullptr, bitmap.Get());
    RECT all{0, 0, size.cx, size.cy};
    FillRect(dc.Get(), &all, GetSysColorBrush(COLOR_BTNFACE));
    draw(dc.Get(), all);
    GdiFlush();
  }
  Pixels out{size.cx, size.cy, {}};
  const auto* first = static_cast<const std::uint32_t*>(bits);
  out.rgb.assign(first, first + static_cast<size_t>(size.cx) * size.cy);
  for (auto& p : out.rgb) p &= 0xFFFFFFu;
  return out;
}

// Pixels of the face that differ, in the band round the edge that the glyph and caption never reach, border
// included (the light style's hot face differs from the normal one only there), corners left out: the parent
// shows through them.
int FaceDifferences(const Pixels& shown, const Pixels& reference) {
  constexpr int kBand = 10, kCorner = 3;
  int differences = 0;
  for (int y = 0; y < shown.height; ++y)
    for (int x = 0; x < shown.width; ++x) {
      const bool band = x < kBand || y < kBand || x >= shown.width - kBand || y >= shown.height - kBand;
      const bool corner = (x < kCorner || x >= shown.width - kCorner) && (y < kCorner || y >= shown.height - kCorner);
      if (band && !corner && shown.At(x, y) != reference.At(x, y)) ++differences;
    }
  return differences;
}

// With `focusRect`, the focus rectangle just inside the face's content, where the panel draws it.
Pixels ThemedFace(SIZE size, int state, bool focusRect = false) {
  return Render(size, [&](HDC dc, RECT r) {
    const tsm::UniqueTheme theme(OpenThemeData(nullptr, L"BUTTON"));
    DrawThemeBackground(theme.Get(), dc, BP_PUSHBUTTON, state, &r, nullptr);
    if (!focusRect) return;
    RECT content = r;
    GetThemeBackgroundContentRect(theme.Get(), dc, BP_PUSHBUTTON, state, &r, &content);
    InflateRect(&content, -1, -1);
    DrawFocusRect(dc, &content);
  });
}

Pixels ClassicFace(SIZE size, bool focusRect) {
  return Render(size, [&](HDC dc, RECT r) {
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH);
    if (!focusRect) return;
    InflateRect(&r, -4, -4);
    DrawFocusRect(dc, &r);
  });
}

// Waits (bounded) until the button's face is `reference`'s, then says how many pixels still differ.
int DifferencesAfterWait(PanelDriver& panel, const std::function<Pixels(SIZE)>& reference) {
  int differences = -1;
  (void)tsm::test::WaitUntil([&] {
    const Pixels shown = panel.CaptureControl(IDC_BTNSTARTSERVICE);
    differences = FaceDifferences(shown, reference({shown.width, shown.height}));
    return differences == 0;
  });
  return differences;
}

// Start Service, the stopped service's one enabled button, has the focus from the start, and so wears the default
// look, with the focus rectangle wherever the window's keyboard cues show it.
TEST_F(PanelLook, ButtonsWearTheStyleNormalHotAndPressed) {
  ASSERT_TRUE(IsThemeActive()) << "run by look-and-scale.sh in the session with the style on";
  PanelDriver& panel = Panel();
  const HWND button = panel.Control(IDC_BTNSTARTSERVICE);
  RECT r;
  GetWindowRect(button, &r);
  const bool cue = !(SendMessageA(button, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);

  SetCursorPos(0, 0);
  EXPECT_EQ(DifferencesAfterWait(panel, [&](SIZE s) { return ThemedFace(s, PBS_DEFAULTED, cue); }), 0) << "focused";
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  EXPECT_EQ(DifferencesAfterWait(panel, [&](SIZE s) { return ThemedFace(s, PBS_HOT, cue); }), 0) << "mouse over it";
  SetCursorPos(0, 0);
  EXPECT_EQ(DifferencesAfterWait(panel, [&](SIZE s) { return ThemedFace(s, PBS_DEFAULTED, cue); }), 0) << "gone";
  SendMessageA(button, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(DifferencesAfterWait(panel, [&](SIZE s) { return ThemedFace(s, PBS_PRESSED, cue); }), 0) << "pressed";
  SendMessageA(button, BM_SETSTATE, FALSE, 0);
}

TEST_F(PanelLook, ClassicFaceComesBackWhenTheStyleIsSwitchedOff) {
  ASSERT_TRUE(IsThemeActive()) << "run by look-and-scale.sh in the session with the style on";
  PanelDriver& panel = Panel();
  SetCursorPos(0, 0);
  const bool cue = !(SendMessageA(panel.Control(IDC_BTNSTARTSERVICE), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
  ASSERT_EQ(DifferencesAfterWait(panel, [&](SIZE s) { return ThemedFace(s, PBS_DEFAULTED, cue); }), 0) << "styled";
  ASSERT_TRUE(tsm::test::SwitchStyleOffInPanel(panel));
  EXPECT_EQ(DifferencesAfterWait(panel, [&](SIZE s) { return ClassicFace(s, cue); }), 0);
}

TEST_F(PanelLook, DpiChangedLaysTheWindowOutAtTheNewScale) {
  PanelDriver& panel = Panel();
  constexpr int kNewDpi = 144;
  // Asked first, the panel names the size whose client area is exactly the layout's at the new scale.
  using AdjustForDpi = BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT);
  const auto adjustForDpi = reinterpret_cast<AdjustForDpi*>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi")));
  ASSERT_TRUE(adjustForDpi);
  RECT exact{0, 0, Scale(tsm::kClientWidth, kNewDpi), Scale(tsm::kClientHeight, kNewDpi)};
  ASSERT_TRUE(adjustForDpi(&exact, static_cast<DWORD>(panel.Style(0)), FALSE, static_cast<DWORD>(panel.ExStyle(0)),
                           kNewDpi));
  const auto asked = tsm::test::AskDpiScaledSize(panel, kNewDpi);
  ASSERT_TRUE(asked) << "WM_GETDPISCALEDSIZE left to the system";
  EXPECT_EQ(asked->cx, exact.right - exact.left);
  EXPECT_EQ(asked->cy, exact.bottom - exact.top);

  RECT suggested = panel.WindowRect();
  RECT frame{0, 0, Scale(tsm::kClientWidth, kNewDpi), Scale(tsm::kClientHeight, kNewDpi)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(panel.Style(0)), FALSE, static_cast<DWORD>(panel.ExStyle(0)));
  suggested.right = suggested.left + (frame.right - frame.left);
  suggested.bottom = suggested.top + (frame.bottom - frame.top);
  tsm::test::SendDpiChanged(panel, kNewDpi, suggested);
  ExpectLaidOutAt(panel, kNewDpi);
}

} // namespace

// --- High contrast: the colours a black scheme sets (Wine cannot switch the high-contrast flag itself) ---

// Run by look-and-scale.sh in a session of its own, since the colours are the whole session's: the explanation on
// the unregistered page is drawn in the scheme's window text, not in the black of the default one.
TEST(PanelHighContrast, ExplanationIsDrawnInTheSchemesTextColour) {
  const int elements[] = {COLOR_BTNFACE, COLOR_WINDOW, COLOR_BTNTEXT, COLOR_WINDOWTEXT, COLOR_GRAYTEXT};
  const COLORREF black[] = {RGB(0, 0, 0), RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 255), RGB(0, 255, 0)};
  ASSERT_TRUE(SetSysColors(static_cast<int>(std::size(elements)), elements, black));

  tsm::test::ScratchFolder folder;
  tsm::test::PanelOptions options;
  options.workingFolder = folder.Path();
  PanelDriver panel(options);
  const auto lightPixels = [&] {
    int light = 0;
    for (const std::uint32_t p : panel.CaptureControl(IDC_LBLNOTREGISTERED).rgb)
      if ((p & 0xFF) > 0xC0 && (p >> 8 & 0xFF) > 0xC0 && (p >> 16 & 0xFF) > 0xC0) ++light;
    return light;
  };
  EXPECT_TRUE(tsm::test::WaitUntil([&] { return lightPixels() > 100; })) << lightPixels() << " light pixels";
}
