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

// A memory DC with one object selected into it for the scope; both are undone in reverse order.
class MemoryDC {
public:
  MemoryDC(HDC compatibleWith, HGDIOBJ object) : dc_(::CreateCompatibleDC(compatibleWith)) {
    if (dc_) old_ = ::SelectObject(dc_, object);
  }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;
  ~MemoryDC() {
    if (!dc_) return;
    ::SelectObject(dc_, old_);
    ::DeleteDC(dc_);
  }
  [[nodiscard]] HDC Get() const { return dc_; }

private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

// A window's DC for the scope.
class WindowDC {
public:
  explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  [[nodiscard]] HDC Get() const { return dc_; }

private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC for the scope.
class SelectedObject {
public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() { ::SelectObject(dc_, old_); }

private:
  HDC dc_;
  HGDIOBJ old_;
};

} // namespace tsm
