// The visual style's parts the window draws itself: the push-button face, the page area and the header band.
// Each is held open for the main window and reopened when the style or the scale changes (WM_THEMECHANGED,
// WM_DPICHANGED) or high contrast is switched; each is null while no style is active or high contrast is on, and the
// controls then draw the classic look they always had.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include "win32/UniqueResource.h"

namespace tsm {

inline void CloseTheme(HTHEME theme) { ::CloseThemeData(theme); }
using UniqueTheme = UniqueResource<HTHEME, CloseTheme>;

class TVisualStyle {
public:
  // Opens the parts anew for `window`: at creation, whenever the style is switched on, off or to another one or high
  // contrast on or off, and at a new scale, since the parts are made for the window's scale when they are opened.
  void Open(HWND window);

  [[nodiscard]] HTHEME Button() const { return button_.Get(); }
  // The frame a tab control draws round its pages, for the page frame (which has no tab row).
  [[nodiscard]] HTHEME Pane() const { return tab_.Get(); }
  // The band a rebar draws behind its bars, for the header; null when the style has no such part.
  [[nodiscard]] HTHEME Band() const { return rebar_.Get(); }

private:
  UniqueTheme button_, tab_, rebar_;
};

// Whether the user has asked for high contrast: the panel then draws everything it draws itself in the system's
// colours, and without the visual style's parts, whose colours are the style's own.
[[nodiscard]] bool HighContrast();

// Fills `client` with the style's pane (for the page frame) or band (for the header), over what the parent shows
// through where the part is not opaque. False, and nothing drawn, when `theme` is null.
bool DrawThemedArea(HWND window, HDC dc, HTHEME theme, int part, const RECT& client);

} // namespace tsm
