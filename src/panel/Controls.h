// The few kinds of control the main window is made of, on top of the system's own: a header panel, a page
// control without tabs and its pages, and a picture holder; the push button with a glyph is in BitButton.h.
#pragma once

#include <windows.h>

#include <string>

#include "panel/Dpi.h"
#include "panel/Layout.h"
#include "panel/VisualStyle.h"

namespace tsm {

// Moves a control to its place at the window's scale, when the scale changes; controls are made in their place at
// the start, from the same Dpi::Scale.
void PlaceControl(HWND control, const ControlBounds& bounds, const Dpi& dpi);

void RegisterControlClasses(HINSTANCE instance);
// The header and the page frame are created with the window's TVisualStyle as their creation parameter, and draw
// with its parts while it has them. The classes keep the names they are registered under for the tools that look
// at the window from outside.
inline constexpr char kPanelClass[] = "TPanel";
inline constexpr char kPageFrameClass[] = "TPageControl";
inline constexpr char kPageClass[] = "TTabSheet";
inline constexpr char kImageClass[] = "TImage";

// What every control has: its window.
struct TControl {
  HWND Handle = nullptr;

  void SetVisible(bool visible) const { ::ShowWindow(Handle, visible ? SW_SHOW : SW_HIDE); }
  void SetEnabled(bool enabled) const { ::EnableWindow(Handle, enabled); }
  void SetCaption(const std::string& text) const { ::SetWindowTextA(Handle, text.c_str()); }
};

// A picture drawn at its natural size from the top-left corner, its bottom-left pixel's colour transparent. It draws
// a picture that the window keeps.
struct TImage : TControl {
  HBITMAP Picture = nullptr;

  void SetPicture(HBITMAP picture);
};

struct TLabel : TControl {};
struct TPanel : TControl {};
// The frame the pages sit in, and a page: one is shown at a time, chosen by the window; there are no tabs.
struct TPageFrame : TControl {};
struct TPage : TControl {};
// One pane across the whole bar, holding the status line.
struct TStatusBar : TControl {
  // Sets the pane's text (part 0; the bar's simple mode is never used).
  void SetPaneText(const std::string& text) const;
};

} // namespace tsm
