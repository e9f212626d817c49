// What the window and the server probe share, and nothing else of either: the link the probe reaches the window
// through, and the result it hands over.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "core/StatusBarText.h"
#include "res/resource.h" // WM_STATUS_UPDATE, which carries the result
#include "win32/KernelHandle.h"

namespace tsm {

// What one probe found, handed over whole: the outcome, the port, the file, the time and the reason
// (core/StatusBarText.h). The window words the status line and the explanation from it alone.
using TProbeResult = ProbeResult;

// What a probe worker may touch of the window. Workers share it, so it outlives the window: a worker that
// finishes after the window is gone still finds HttpPort, and its message to the dead window is simply dropped.
struct TFormLink {
  std::atomic<HWND> Handle{nullptr};
  // The server's HTTP port: -1 until a probe has resolved it from the configuration, then that port for good.
  std::atomic<std::int32_t> HttpPort{-1};
  // Set once the window has been shown and painted, or is gone. The first probe, started while the window is being
  // made, waits for it: the libraries the configuration reader loads, and an answer to show, would otherwise hold
  // up the window's first paint.
  UniqueHandle Shown{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

} // namespace tsm
