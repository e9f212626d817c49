#include "core/ServiceDisplay.h"

namespace tsm {

std::optional<ServiceDisplay> DisplayForState(int state) {
  constexpr int kStopped = 1; // SERVICE_STOPPED
  constexpr int kRunning = 4; // SERVICE_RUNNING
  switch (state) {
  case 0:
    return std::nullopt;
  case kStopped:
    return ServiceDisplay{StatusPicture::Stopped, true, false};
  case kRunning:
    return ServiceDisplay{StatusPicture::Running, false, true};
  default: // pending, paused, or anything else the manager may report: wait, and offer nothing
    return ServiceDisplay{StatusPicture::Pending, false, false};
  }
}

} // namespace tsm
