// The explanation of the status line (where it comes from, or why there is none) for everyone: the status bar's
// accessible description, where a screen reader reads it, and the tooltip at the bar that F1 brings up.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "win32/ComInit.h"
#include "win32/UniqueResource.h"

namespace tsm {

inline void UnhookHook(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
using UniqueHook = UniqueResource<HHOOK, UnhookHook>;

// Everything runs on the window's thread. At most one per thread.
class TStatusExplanation {
public:
  TStatusExplanation() = default;
  TStatusExplanation(const TStatusExplanation&) = delete;
  TStatusExplanation& operator=(const TStatusExplanation&) = delete;
  ~TStatusExplanation();

  // From now on, until the bar is destroyed: the bar's WM_GETOBJECT (OBJID_CLIENT) is answered with a thin wrapper
  // over the standard accessible object the system would give, whose accDescription is the explanation (a client
  // that holds the object reads each new one); F1 on the window shows the explanation in `tooltip` (the window's
  // tooltip, made if need be; null when there is none), and the next key or click anywhere takes it away again.
  void Attach(HWND frame, HWND bar, std::function<HWND()> tooltip);
  void Set(const std::string& utf8);

private:
  static LRESULT CALLBACK BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK MessageHook(int code, WPARAM removal, LPARAM lParam);
  LRESULT ClientObject(HWND bar, WPARAM wParam);
  void Look(const MSG& message);
  void ShowTip();
  void HideTip();

  HWND frame_ = nullptr;
  HWND bar_ = nullptr;
  std::function<HWND()> tooltip_;
  HWND shownIn_ = nullptr; // the tooltip while it shows the explanation
  UniqueHook hook_;
  std::shared_ptr<std::wstring> text_ = std::make_shared<std::wstring>();
  // COM on the window's thread from the first request on: the object is marshalled to the client through it.
  std::optional<TComInit> com_;
};

} // namespace tsm
