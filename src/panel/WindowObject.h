// The object behind one of the program's windows: handed to CreateWindowEx as its creation parameter, kept in the
// window's user data from WM_NCCREATE on, and let go at WM_NCDESTROY, so no message after it reaches a dead object.
#pragma once

#include <windows.h>

namespace tsm {

// For the first lines of a window procedure: the window's object, or null before WM_NCCREATE, after WM_NCDESTROY and
// for a window made without one.
template <class Object> Object* WindowObject(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* object = reinterpret_cast<Object*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  return object;
}

} // namespace tsm
