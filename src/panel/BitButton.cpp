// The push button with a glyph: its hot state and its face, drawn in the visual style or the classic look. Runs on
// the window's (user-interface) thread.
#include "panel/BitButton.h"

#include <commctrl.h>
#include <vssym32.h>

namespace tsm {
namespace {

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

} // namespace

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

} // namespace tsm
