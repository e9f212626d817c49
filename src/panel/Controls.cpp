// The window classes of the controls the window draws itself: the header, the page frame and its pages, and the
// picture holder. Runs on the window's (user-interface) thread.
#include "panel/Controls.h"

#include "panel/BusyCursor.h"
#include "panel/Pictures.h"
#include "panel/WindowObject.h"

#include <commctrl.h>
#include <vssym32.h>

#include <string>

namespace tsm {
namespace {

// Our own classes keep the font they were given in their first extra window slot, as system controls do.
constexpr int kFontSlot = 0;

HFONT FontOf(HWND window) { return reinterpret_cast<HFONT>(::GetWindowLongPtrA(window, kFontSlot)); }

// Handles what every container and picture of ours answers alike; false leaves the message to the caller.
bool HandleCommon(HWND window, UINT message, WPARAM wParam, LRESULT& result) {
  switch (message) {
  case WM_SETFONT:
    ::SetWindowLongPtrA(window, kFontSlot, static_cast<LONG_PTR>(wParam));
    result = 0;
    return true;
  case WM_GETFONT:
    result = reinterpret_cast<LRESULT>(FontOf(window));
    return true;
  case WM_SETCURSOR:
    if (!ApplyBusyCursor()) return false;
    result = TRUE;
    return true;
  default:
    return false;
  }
}

// Pages and the page frame hand their children's notifications to the main window, which owns every handler.
bool ForwardToMainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
  case WM_COMMAND:
  case WM_NOTIFY:
  case WM_DRAWITEM:
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLORBTN:
    result = ::SendMessageA(::GetAncestor(window, GA_ROOT), message, wParam, lParam);
    return true;
  default:
    return false;
  }
}

// One WM_PAINT of our own controls: the button face over the whole client area, for the caller to draw on.
class FacePainter {
public:
  explicit FacePainter(HWND window) : paint_(window) {
    ::GetClientRect(window, &client_);
    ::FillRect(paint_.Get(), &client_, ::GetSysColorBrush(COLOR_BTNFACE));
  }

  [[nodiscard]] HDC Dc() const { return paint_.Get(); }
  [[nodiscard]] RECT Client() const { return client_; }

private:
  PaintDC paint_;
  RECT client_{};
};

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto* style = WindowObject<const TVisualStyle>(window, message, lParam);
  if (LRESULT result; HandleCommon(window, message, wParam, result)) return result;
  if (message != WM_PAINT) return ::DefWindowProcA(window, message, wParam, lParam);

  const FacePainter face(window);
  HDC dc = face.Dc();
  RECT client = face.Client();
  if (!DrawThemedArea(window, dc, style ? style->Band() : nullptr, RP_BACKGROUND, client))
    ::DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
  char caption[128] = {};
  ::GetWindowTextA(window, caption, sizeof caption);
  const SelectedObject font(dc, FontOf(window) ? FontOf(window) : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, HighContrast() ? ::GetSysColor(COLOR_BTNTEXT) : RGB(128, 128, 128));
  ::DrawTextA(dc, caption, -1, &client, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  return 0;
}

LRESULT CALLBACK PageFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto* style = WindowObject<const TVisualStyle>(window, message, lParam);
  if (LRESULT result; HandleCommon(window, message, wParam, result)) return result;
  if (LRESULT result; ForwardToMainWindow(window, message, wParam, lParam, result)) return result;
  if (message != WM_PAINT) return ::DefWindowProcA(window, message, wParam, lParam);

  // The frame a tab control draws round its pages, without the tab row: the tabs are never shown.
  const FacePainter face(window);
  RECT client = face.Client();
  if (!DrawThemedArea(window, face.Dc(), style ? style->Pane() : nullptr, TABP_PANE, client))
    ::DrawEdge(face.Dc(), &client, EDGE_RAISED, BF_RECT);
  return 0;
}

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (LRESULT result; HandleCommon(window, message, wParam, result)) return result;
  if (LRESULT result; ForwardToMainWindow(window, message, wParam, lParam, result)) return result;
  return ::DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto* image = WindowObject<const TImage>(window, message, lParam);
  if (LRESULT result; HandleCommon(window, message, wParam, result)) return result;
  if (message != WM_PAINT) return ::DefWindowProcA(window, message, wParam, lParam);

  // Transparent: the parent's face shows where the picture is transparent or absent.
  const FacePainter face(window);
  if (image && image->Picture) DrawTransparent(face.Dc(), image->Picture, 0, 0);
  return 0;
}

void Register(HINSTANCE instance, const char* name, WNDPROC proc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = sizeof(LONG_PTR);
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  ::RegisterClassExA(&wc);
}

} // namespace

void PlaceControl(HWND control, const ControlBounds& bounds, const Dpi& dpi) {
  const RECT r = dpi.Scale(bounds);
  ::MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
}

void RegisterControlClasses(HINSTANCE instance) {
  Register(instance, kPanelClass, PanelProc);
  Register(instance, kPageFrameClass, PageFrameProc);
  Register(instance, kPageClass, PageProc);
  Register(instance, kImageClass, ImageProc);
}

void TImage::SetPicture(HBITMAP picture) {
  Picture = picture;
  ::InvalidateRect(Handle, nullptr, TRUE);
}

void TStatusBar::SetPaneText(const std::string& text) const {
  // Part 0 is the bar's window text as well: a screen reader finds the line as the bar's one named pane, and as the
  // bar's own name where it asks the window.
  ::SendMessageA(Handle, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

} // namespace tsm
