// How a service state shows on the panel: which page, which traffic light, which service buttons.
#pragma once

#include <optional>

namespace tsm {

// Which traffic light imgStatus shows.
enum class StatusPicture : int { None = 0, Stopped = 1, Running = 2, Pending = 3 };

struct ServiceDisplay {
  StatusPicture picture;
  bool startEnabled;
  bool stopEnabled;
  friend bool operator==(const ServiceDisplay&, const ServiceDisplay&) = default;
};

// The registered page's look for a service state (1..7 or any other value the manager may invent), or nothing
// for state 0, which means the service is not registered or could not be read: the unregistered page.
[[nodiscard]] std::optional<ServiceDisplay> DisplayForState(int state);

// What the traffic light says in words, for those who cannot see it: the name a screen reader gives the picture.
[[nodiscard]] const char* StatusPictureWords(StatusPicture picture);

} // namespace tsm
