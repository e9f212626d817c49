// The one scale every position and size of the window goes through.
#pragma once

#include <windows.h>

#include "panel/Layout.h"
#include "win32/GdiHandles.h"

namespace tsm {

// Control geometry is written in 96-DPI pixels; this turns it into the monitor's.
class Dpi {
public:
  explicit Dpi(int dpi) : dpi_(dpi) {}
  // The screen's, which is the window's until the system says otherwise (WM_DPICHANGED).
  [[nodiscard]] static Dpi OfScreen() {
    const WindowDC screen(nullptr);
    return Dpi(screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96);
  }
  [[nodiscard]] int Value() const { return dpi_; }
  [[nodiscard]] int Scale(int pixels96) const { return ::MulDiv(pixels96, dpi_, 96); }
  [[nodiscard]] RECT Scale(const ControlBounds& b) const {
    return {Scale(b.left), Scale(b.top), Scale(b.left + b.width), Scale(b.top + b.height)};
  }

private:
  int dpi_;
};

} // namespace tsm
