// Owners for the GDI and shell objects the window uses. One type per kind of handle, each with its own closer.
#pragma once

#include <windows.h>

#include "win32/UniqueResource.h"

namespace tsm {

inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void DestroyIconHandle(HICON icon) { ::DestroyIcon(icon); }

using UniqueFont = UniqueResource<HFONT, DeleteGdiObject>;
using UniqueBitmap = UniqueResource<HBITMAP, DeleteGdiObject>;
using UniqueIcon = UniqueResource<HICON, DestroyIconHandle>;

inline void DeleteDc(HDC dc) { ::DeleteDC(dc); }
using UniqueDC = UniqueResource<HDC, DeleteDc>;

// An object selected into a DC for the scope: the one it replaced is selected again at the end.
struct Selection {
  HDC Dc = nullptr;
  HGDIOBJ Replaced = nullptr;
};
inline void SelectBack(const Selection& selection) { ::SelectObject(selection.Dc, selection.Replaced); }

class SelectedObject {
public:
  SelectedObject(HDC dc, HGDIOBJ object)
      : selection_(Selection{dc, dc ? ::SelectObject(dc, object) : nullptr}, dc != nullptr) {}

private:
  UniqueUndo<Selection, SelectBack> selection_;
};

// A memory DC with one object selected into it for the scope; both are undone in reverse order.
class MemoryDC {
public:
  MemoryDC(HDC compatibleWith, HGDIOBJ object) : dc_(::CreateCompatibleDC(compatibleWith)), object_(dc_.Get(), object) {}
  [[nodiscard]] HDC Get() const { return dc_.Get(); }

private:
  UniqueDC dc_;
  SelectedObject object_;
};

// A window's DC for the scope, released to the window it came from.
struct WindowDcHold {
  HWND Window = nullptr;
  HDC Dc = nullptr;
};
inline void ReleaseWindowDc(const WindowDcHold& hold) { ::ReleaseDC(hold.Window, hold.Dc); }

class WindowDC {
public:
  explicit WindowDC(HWND window) : hold_(Take(window)) {}
  [[nodiscard]] HDC Get() const { return hold_.Get().Dc; }

private:
  using Hold = UniqueUndo<WindowDcHold, ReleaseWindowDc>;
  static Hold Take(HWND window) {
    const HDC dc = ::GetDC(window);
    return Hold(WindowDcHold{window, dc}, dc != nullptr);
  }

  Hold hold_;
};

// One WM_PAINT's painting, from BeginPaint to EndPaint.
struct Painting {
  HWND Window = nullptr;
  PAINTSTRUCT Paint{};
};
inline void EndPainting(const Painting& painting) { ::EndPaint(painting.Window, &painting.Paint); }

class PaintDC {
public:
  explicit PaintDC(HWND window) : painting_(Painting{window, {}}, true) {
    ::BeginPaint(window, &painting_.Get().Paint);
  }
  [[nodiscard]] HDC Get() const { return painting_.Get().Paint.hdc; }

private:
  UniqueUndo<Painting, EndPainting> painting_;
};

} // namespace tsm
