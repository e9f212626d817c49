#pragma once

#include <windows.h>
#include <uxtheme.h>

#include <string>

#include "panel/Controls.h"
#include "panel/Pictures.h"

namespace tsm {

// A push button that shows its glyph left of its caption, 4 pixels apart, the pair centred. With a visual style
// its face is the style's push button (hot while the mouse is over it); without one, the classic 3-D face.
struct TBitBtn : TControl {
  UniqueBitmap Picture; // the layout's picture, which the glyph draws unless the window hands it another
  TGlyph Glyph;
  std::string Hint;
  bool Hot = false; // the mouse is over it

  // Follows the mouse into and out of the button, for the hot face. Call once, after Handle is set.
  void TrackHot();
  void Draw(const DRAWITEMSTRUCT& item, const Dpi& dpi, HTHEME theme) const;
};

} // namespace tsm
