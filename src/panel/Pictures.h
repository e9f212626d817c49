// The program's pictures: the traffic light and the glyphs, each in a variant for every scale the program carries.
#pragma once

#include <windows.h>

#include "panel/Dpi.h"
#include "win32/GdiHandles.h"

namespace tsm {

// One of the program's pictures, kept by the window for a control to draw: the traffic light of each state and the
// run button's two glyphs. Never shown by itself, so it needs no window of its own.
struct TPicture {
  int Resource; // the bitmap resource drawn for 100 %
  UniqueBitmap Bitmap{};

  // The picture drawn for the scale, in place of the one for the last.
  void Load(HINSTANCE instance, const Dpi& dpi);
};

// Loads one of the program's bitmaps as a device-independent section, so 16-colour pictures keep their palette:
// the one drawn for the smallest scale at or above the display's, stretched only beyond the largest. Throws
// std::runtime_error when the executable lacks it or it is no bitmap: a control the layout gives a picture cannot
// be made without it.
[[nodiscard]] UniqueBitmap LoadPicture(HINSTANCE instance, int id, const Dpi& dpi);

// Draws `picture` at its natural size, its bottom-left pixel's colour transparent.
void DrawTransparent(HDC dc, HBITMAP picture, int x, int y);

// A picture for a button (24 x 24 at 100 %), drawn with its bottom-left pixel's colour transparent, greyed when
// disabled. It draws the picture it is made from, which the caller keeps alive and which stays untouched; the greyed
// form is made the first time it is drawn.
class TGlyph {
public:
  TGlyph() = default;
  explicit TGlyph(HBITMAP bitmap);
  void Draw(HDC dc, int x, int y, bool enabled) const;
  [[nodiscard]] SIZE Size() const { return size_; }

private:
  HBITMAP bitmap_ = nullptr;
  SIZE size_{};
  mutable UniqueIcon disabled_;
};

} // namespace tsm
