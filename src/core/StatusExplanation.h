// Where the status line comes from, in plain words: the status bar's tooltip. The line itself says only whether the
// server answered; this says which file gave the port, and why nothing answered.
#pragma once

#include <cstdint>
#include <string>

namespace tsm {

// How a probe ended, as far as the user can do something about it.
enum class ProbeOutcome {
  NoConfigFile,    // nothing at the configuration's path
  NoPortParameter, // a file, but no usable httpPort2 or httpPort in it
  Refused,         // no connection on the port
  Silent,          // a connection, but not one byte came back
  Answered,        // the server said something
};

// A time of day on the local clock, as the probe saw it end.
struct ClockTime {
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// configPath is the configuration's full path (UTF-8, as the program holds paths), port the port that was asked
// (ignored when none was found), at when the probe ended.
[[nodiscard]] std::string StatusExplanation(ProbeOutcome outcome, const std::string& configPath, std::int32_t port,
                                            ClockTime at);

} // namespace tsm
