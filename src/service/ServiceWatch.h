// Tells a window at once when a service changes state, so that it need not wait for its next poll.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "win32/KernelHandle.h"

namespace tsm {

// Watches one service from a thread of its own and posts `message` (no parameters) to `window` for every change of
// the service's state. The window then asks for the state itself: the notification only says "look now". A service
// registered or removed is found by the window's own poll: the manager's handle could report those too, but Wine's
// manager has been seen to leave that request unanswered for seconds, holding up every call to it the process makes.
//
// The service's handle is closed as soon as the service is marked for deletion, so that the watch never holds up an
// uninstall; the window's own refreshes tell the watch (ServiceSeen) when the service is there again, and when it has
// gone in a way the manager did not report. Nothing here throws or blocks the caller, but the destructor, which
// waits (bounded, and in practice for no more than one call to the manager) for the thread to end while it may hold
// the service. A watch whose thread could not start watches nothing, and the window's poll covers everything.
class TServiceWatch {
public:
  TServiceWatch(std::string name, HWND window, UINT message);
  ~TServiceWatch();
  TServiceWatch(const TServiceWatch&) = delete;
  TServiceWatch& operator=(const TServiceWatch&) = delete;

  // The window is about to look at the service: returns once the thread has closed the service's handle (or after a
  // short bound), so that a service deleted from outside is gone by the time the window asks, even under Wine, whose
  // manager keeps such a service while any handle holds it. ServiceSeen then has the thread open it again.
  void LetGo();
  // What the window's last look at the service found: whether it is registered.
  void ServiceSeen(bool registered);

  struct Shared; // what the caller and the thread both hold; the thread's share outlives a destructor that gave up

private:
  std::shared_ptr<Shared> shared_;
  UniqueHandle thread_;
};

} // namespace tsm
