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

const char* StatusPictureWords(StatusPicture picture) {
  switch (picture) {
  case StatusPicture::Stopped:
    return "Service stopped";
  case StatusPicture::Running:
    return "Service running";
  case StatusPicture::Pending:
    return "Service changing state or paused";
  case StatusPicture::None:
    break;
  }
  return "";
}

} // namespace tsm
