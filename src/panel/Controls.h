// The few kinds of control the main window is made of, on top of the system's own: a header panel, a page
// control without tabs and its pages, pictures drawn with a transparent colour, and push buttons with a glyph.
#pragma once

#include <windows.h>

#include <string>

#include "panel/MainFormLayout.h"
#include "panel/VisualStyle.h"
#include "win32/GdiHandles.h"

namespace tsm {

// Control geometry is written in 96-DPI pixels; this turns it into the monitor's.
class Dpi {
public:
  explicit Dpi(int dpi) : dpi_(dpi) {}
  [[nodiscard]] static Dpi OfScreen();
  [[nodiscard]] int Value() const { return dpi_; }
  [[nodiscard]] int Scale(int pixels96) const { return ::MulDiv(pixels96, dpi_, 96); }
  [[nodiscard]] RECT Scale(const ControlBounds& b) const {
    return {Scale(b.left), Scale(b.top), Scale(b.left + b.width), Scale(b.top + b.height)};
  }

private:
  int dpi_;
};

// Moves a control to its place at the window's scale, when the scale changes; controls are made in their place at
// the start, from the same Dpi::Scale.
void PlaceControl(HWND control, const ControlBounds& bounds, const Dpi& dpi);

void RegisterControlClasses(HINSTANCE instance);
// The header and the page control are created with the window's TVisualStyle as their creation parameter, and draw
// with its parts while it has them.
inline constexpr char kPanelClass[] = "TPanel";
inline constexpr char kPageControlClass[] = "TPageControl";
inline constexpr char kPageClass[] = "TTabSheet";
inline constexpr char kImageClass[] = "TImage";

// The application-wide cursor: the hourglass over every window of the program while busy.
void SetBusyCursor(bool busy);
// For WM_SETCURSOR in the program's own window procedures: true when it set the hourglass.
[[nodiscard]] bool ApplyBusyCursor();

// What every control has: its window and a free integer the window uses as a small cache.
struct TControl {
  HWND Handle = nullptr;
  int Tag = 0;

  void SetVisible(bool visible) const { ::ShowWindow(Handle, visible ? SW_SHOW : SW_HIDE); }
  void SetEnabled(bool enabled) const { ::EnableWindow(Handle, enabled); }
  void SetCaption(const std::string& text) const { ::SetWindowTextA(Handle, text.c_str()); }
};

// One of the program's pictures, kept by the window to be drawn by a control: the design's hidden picture holders,
// which are never shown and so need no window of their own.
struct TPicture {
  int Resource; // the bitmap resource drawn for 100 %
  UniqueBitmap Bitmap{};

  // The picture drawn for the scale, in place of the one for the last.
  void Load(HINSTANCE instance, const Dpi& dpi);
};

// A picture drawn at its natural size from the top-left corner, its bottom-left pixel's colour transparent. It draws
// a picture that the window keeps.
struct TImage : TControl {
  HBITMAP Picture = nullptr;

  void SetPicture(HBITMAP picture);
};

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

struct TLabel : TControl {};
struct TPanel : TControl {};
struct TPageControl : TControl {};
struct TTabSheet : TControl {};
// One pane across the whole bar, holding the status line.
struct TStatusBar : TControl {
  void SetSimpleText(const std::string& text) const;
};

// Loads one of the program's bitmaps as a device-independent section, so 16-colour pictures keep their palette:
// the one drawn for the smallest scale at or above the display's, stretched only beyond the largest. Throws
// std::runtime_error when the executable lacks it or it is no bitmap: a control the layout gives a picture cannot
// be made without it.
[[nodiscard]] UniqueBitmap LoadPicture(HINSTANCE instance, int id, const Dpi& dpi);

} // namespace tsm
