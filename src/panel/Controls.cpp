// The few kinds of control the window draws itself, and their window classes. Runs on the window's
// (user-interface) thread.
#include "panel/Controls.h"

#include <commctrl.h>
#include <vssym32.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "win32/SystemText.h"

namespace tsm {
namespace {

bool g_busyCursor = false;

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

// Pages and the page control hand their children's notifications to the main window, which owns every handler.
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
  explicit FacePainter(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {
    ::GetClientRect(window, &client_);
    ::FillRect(dc_, &client_, ::GetSysColorBrush(COLOR_BTNFACE));
  }
  FacePainter(const FacePainter&) = delete;
  FacePainter& operator=(const FacePainter&) = delete;
  ~FacePainter() { ::EndPaint(window_, &paint_); }

  [[nodiscard]] HDC Dc() const { return dc_; }
  [[nodiscard]] RECT Client() const { return client_; }

private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
  RECT client_{};
};

// The header and the page control keep the window's visual style, their creation parameter, in their user data.
const TVisualStyle* StyleOf(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<const TVisualStyle*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const TVisualStyle* style = StyleOf(window, message, lParam);
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

LRESULT CALLBACK PageControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const TVisualStyle* style = StyleOf(window, message, lParam);
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

void DrawTransparent(HDC dc, HBITMAP picture, int x, int y) {
  BITMAP info{};
  if (!::GetObjectA(picture, sizeof info, &info)) return;
  MemoryDC source(dc, picture);
  const COLORREF transparent = ::GetPixel(source.Get(), 0, info.bmHeight - 1);
  ::GdiTransparentBlt(dc, x, y, info.bmWidth, info.bmHeight, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                      transparent);
}

// The picture as an icon whose mask is its transparent colour: white in the mask, black in the colour, as an image
// list masks it. The picture itself stays as it was: it is drawn again, and made into an icon again.
UniqueIcon MaskedIcon(HBITMAP picture, SIZE size) {
  const MemoryDC source(nullptr, picture);
  const WindowDC screen(nullptr);
  UniqueBitmap mask(::CreateBitmap(size.cx, size.cy, 1, 1, nullptr));
  UniqueBitmap colour(::CreateCompatibleBitmap(screen.Get(), size.cx, size.cy));
  if (!source.Get() || !mask || !colour) return {};
  {
    // Copied to one bit per pixel, the pixels of the source's background colour turn white and the rest black.
    const MemoryDC maskDc(nullptr, mask.Get());
    ::SetBkColor(source.Get(), ::GetPixel(source.Get(), 0, size.cy - 1));
    ::BitBlt(maskDc.Get(), 0, 0, size.cx, size.cy, source.Get(), 0, 0, SRCCOPY);
    const MemoryDC colourDc(screen.Get(), colour.Get());
    ::BitBlt(colourDc.Get(), 0, 0, size.cx, size.cy, source.Get(), 0, 0, SRCCOPY);
    constexpr DWORD kDestinationAndNotSource = 0x00220326;
    ::BitBlt(colourDc.Get(), 0, 0, size.cx, size.cy, maskDc.Get(), 0, 0, kDestinationAndNotSource);
  }
  ICONINFO icon{TRUE, 0, 0, mask.Get(), colour.Get()};
  return UniqueIcon(::CreateIconIndirect(&icon)); // copies both bitmaps
}

LRESULT CALLBACK ImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (LRESULT result; HandleCommon(window, message, wParam, result)) return result;
  if (message == WM_NCDESTROY) ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  if (message != WM_PAINT) return ::DefWindowProcA(window, message, wParam, lParam);

  // Transparent: the parent's face shows where the picture is transparent or absent.
  const FacePainter face(window);
  if (const auto* image = reinterpret_cast<const TImage*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
      image && image->Picture)
    DrawTransparent(face.Dc(), image->Picture, 0, 0);
  return 0;
}

// A button's hot state: the mouse came in (tracked until it leaves) or left.
LRESULT CALLBACK HotTrackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto& button = *reinterpret_cast<TBitBtn*>(data);
  if ((message == WM_MOUSEMOVE && !button.Hot) || message == WM_MOUSELEAVE) {
    button.Hot = message == WM_MOUSEMOVE;
    if (button.Hot) {
      TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
      ::TrackMouseEvent(&track);
    }
    ::InvalidateRect(window, nullptr, FALSE);
  } else if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(window, HotTrackProc, 0);
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

// The push-button part's state for what the owner-draw item says, and the mouse.
int PushButtonState(const DRAWITEMSTRUCT& item, bool hot) {
  if (item.itemState & ODS_DISABLED) return PBS_DISABLED;
  if (item.itemState & ODS_SELECTED) return PBS_PRESSED;
  if (hot) return PBS_HOT;
  // The button Enter presses is the focused one: it wears the default look, as a dialog's default button does.
  if (item.itemState & ODS_FOCUS) return PBS_DEFAULTED;
  return PBS_NORMAL;
}

// Picture variants: the display scales they were drawn for, in the order of their resource ids.
constexpr int kPictureDpis[] = {96, 120, 144, 192};

UniqueBitmap LoadBitmapResource(HINSTANCE instance, int id) {
  UniqueBitmap picture(
      static_cast<HBITMAP>(::LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (picture) return picture;
  // Wine's LoadImage fails without a last error for a resource that is no bitmap: the reason comes only when known.
  const std::string reason = SystemErrorText(::GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
  throw std::runtime_error("Cannot load picture " + std::to_string(id) + (reason.empty() ? "" : ": " + reason));
}

// Nearest-neighbour, so that the picture keeps only its own colours and its transparent one stays exact.
UniqueBitmap Stretch(const UniqueBitmap& picture, int numerator, int denominator) {
  BITMAP info{};
  if (!picture || !::GetObjectA(picture.Get(), sizeof info, &info)) return {};
  const int width = ::MulDiv(info.bmWidth, numerator, denominator);
  const int height = ::MulDiv(info.bmHeight, numerator, denominator);
  BITMAPINFO format{};
  format.bmiHeader = {sizeof format.bmiHeader, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  UniqueBitmap result(::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!result) return {};
  const MemoryDC source(nullptr, picture.Get());
  const MemoryDC target(nullptr, result.Get());
  ::SetStretchBltMode(target.Get(), COLORONCOLOR);
  ::StretchBlt(target.Get(), 0, 0, width, height, source.Get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  return result;
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

Dpi Dpi::OfScreen() {
  WindowDC screen(nullptr);
  return Dpi(screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96);
}

void PlaceControl(HWND control, const ControlBounds& bounds, const Dpi& dpi) {
  const RECT r = dpi.Scale(bounds);
  ::MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
}

void RegisterControlClasses(HINSTANCE instance) {
  Register(instance, kPanelClass, PanelProc);
  Register(instance, kPageControlClass, PageControlProc);
  Register(instance, kPageClass, PageProc);
  Register(instance, kImageClass, ImageProc);
}

void SetBusyCursor(bool busy) {
  g_busyCursor = busy;
  ::SetCursor(::LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool ApplyBusyCursor() {
  if (!g_busyCursor) return false;
  ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
  return true;
}

void TPicture::Load(HINSTANCE instance, const Dpi& dpi) { Bitmap = LoadPicture(instance, Resource, dpi); }

void TImage::SetPicture(HBITMAP picture) {
  Picture = picture;
  ::InvalidateRect(Handle, nullptr, TRUE);
}

TGlyph::TGlyph(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !::GetObjectA(bitmap, sizeof info, &info)) return;
  bitmap_ = bitmap;
  size_ = {info.bmWidth, info.bmHeight};
}

void TGlyph::Draw(HDC dc, int x, int y, bool enabled) const {
  if (!bitmap_) return;
  if (enabled) {
    DrawTransparent(dc, bitmap_, x, y);
    return;
  }
  if (!disabled_) disabled_ = MaskedIcon(bitmap_, size_);
  if (!disabled_) return;
  // The embossed grey form the system gives disabled pictures; in high contrast, whose light and shadow colours may
  // be the face's own, the shape in the colour of disabled text.
  if (HighContrast())
    ::DrawStateA(dc, ::GetSysColorBrush(COLOR_GRAYTEXT), nullptr, reinterpret_cast<LPARAM>(disabled_.Get()), 0, x, y,
                 size_.cx, size_.cy, DST_ICON | DSS_MONO);
  else
    ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(disabled_.Get()), 0, x, y, size_.cx, size_.cy,
                 DST_ICON | DSS_DISABLED);
}

void TBitBtn::TrackHot() { ::SetWindowSubclass(Handle, HotTrackProc, 0, reinterpret_cast<DWORD_PTR>(this)); }

void TBitBtn::Draw(const DRAWITEMSTRUCT& item, const Dpi& dpi, HTHEME theme) const {
  HDC dc = item.hDC;
  RECT face = item.rcItem;
  const bool pressed = item.itemState & ODS_SELECTED;
  const bool enabled = !(item.itemState & ODS_DISABLED);
  // Focus, but its rectangle only once the keyboard has been used in the window: after a mouse click the system
  // keeps it hidden, and says so with ODS_NOFOCUSRECT.
  const bool focused = (item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT);

  // The style's face does not move its content when pressed; the classic one does, by a pixel.
  const int state = PushButtonState(item, Hot);
  RECT content = face;
  if (theme) {
    if (::IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, state))
      ::DrawThemeParentBackground(item.hwndItem, dc, &face);
    ::DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &face, nullptr);
    ::GetThemeBackgroundContentRect(theme, dc, BP_PUSHBUTTON, state, &face, &content);
  } else {
    ::DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  }

  char caption[128] = {};
  ::GetWindowTextA(item.hwndItem, caption, sizeof caption);
  SelectedObject font(dc, reinterpret_cast<HFONT>(::SendMessageA(item.hwndItem, WM_GETFONT, 0, 0)));
  RECT textBox{};
  ::DrawTextA(dc, caption, -1, &textBox, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  const int textWidth = textBox.right - textBox.left;
  const int textHeight = textBox.bottom - textBox.top;

  const SIZE glyph = Glyph.Size();
  const int spacing = glyph.cx ? dpi.Scale(4) : 0;
  const int offset = pressed && !theme ? 1 : 0;
  const int width = item.rcItem.right - item.rcItem.left;
  const int height = item.rcItem.bottom - item.rcItem.top;
  const int left = (width - (glyph.cx + spacing + textWidth)) / 2 + offset;

  Glyph.Draw(dc, left, (height - glyph.cy) / 2 + offset, enabled);

  RECT text{left + glyph.cx + spacing, (height - textHeight) / 2 + offset, 0, 0};
  text.right = text.left + textWidth;
  text.bottom = text.top + textHeight;
  ::SetBkMode(dc, TRANSPARENT);
  if (COLORREF themed = 0; theme && ::GetThemeColor(theme, BP_PUSHBUTTON, state, TMT_TEXTCOLOR, &themed) == S_OK) {
    ::SetTextColor(dc, themed);
    ::DrawTextA(dc, caption, -1, &text, DT_SINGLELINE | DT_NOPREFIX);
  } else if (enabled || HighContrast()) {
    ::SetTextColor(dc, ::GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    ::DrawTextA(dc, caption, -1, &text, DT_SINGLELINE | DT_NOPREFIX);
  } else {
    ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption), 0, text.left, text.top, textWidth, textHeight,
                 DST_TEXT | DSS_DISABLED);
  }

  if (focused) {
    RECT focus = theme ? content : item.rcItem;
    const int inset = theme ? dpi.Scale(1) : dpi.Scale(4);
    ::InflateRect(&focus, -inset, -inset);
    ::DrawFocusRect(dc, &focus);
  }
}

void TStatusBar::SetSimpleText(const std::string& text) const {
  // Part 0 is the bar's window text as well: a screen reader finds the line as the bar's one named pane, and as the
  // bar's own name where it asks the window.
  ::SendMessageA(Handle, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

UniqueBitmap LoadPicture(HINSTANCE instance, int id, const Dpi& dpi) {
  const auto fits =
      std::find_if(std::begin(kPictureDpis), std::end(kPictureDpis), [&](int drawn) { return drawn >= dpi.Value(); });
  if (fits != std::end(kPictureDpis))
    return LoadBitmapResource(instance, id + static_cast<int>(fits - std::begin(kPictureDpis)) * IDB_SCALE_STEP);
  const int largest = std::end(kPictureDpis)[-1];
  return Stretch(LoadBitmapResource(instance, id + (std::size(kPictureDpis) - 1) * IDB_SCALE_STEP), dpi.Value(),
                 largest);
}

} // namespace tsm
