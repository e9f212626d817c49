// Owners for the GDI and shell objects the window uses. One type per kind of handle, each with its own closer.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace tsm::ui {

// Owns one handle; Close is the kind's closer. Not copyable; moving hands the handle over.
template <typename Handle, auto Close> class UniqueHandle {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  ~UniqueHandle() { reset(); }

  [[nodiscard]] Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset(Handle handle = nullptr) {
    if (handle_) Close(handle_);
    handle_ = handle;
  }

private:
  Handle handle_ = nullptr;
};

inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void DestroyIconHandle(HICON icon) { ::DestroyIcon(icon); }
inline void DestroyImageList(HIMAGELIST list) { ::ImageList_Destroy(list); }

using UniqueFont = UniqueHandle<HFONT, DeleteGdiObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using UniqueIcon = UniqueHandle<HICON, DestroyIconHandle>;
using UniqueImageList = UniqueHandle<HIMAGELIST, DestroyImageList>;

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
  [[nodiscard]] HDC get() const { return dc_; }

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
  [[nodiscard]] HDC get() const { return dc_; }

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

} // namespace tsm::ui
