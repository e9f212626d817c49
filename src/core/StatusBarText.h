// What the status bar says: the status line, which says whether the server answered, and its tooltip, which says
// in plain words where the line comes from (which file gave the port, and why nothing answered).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tsm {

// What a probe heard from the server.
struct ServerReport {
  bool Answered = false;    // the server took the request, whatever it said
  std::string RunningSince; // the time it reported, as it wrote it
};

// "Checking status" until a probe has reported, then "Torvale is running since ..." with the reported time, or
// "Torvale is NOT running".
[[nodiscard]] std::string StatusLine(const std::optional<ServerReport>& report);

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
