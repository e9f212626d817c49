// What the status bar says: the status line, which says whether the server answered, and its explanation, which says
// in plain words where the line comes from (which file gave the port, why there is none, and why nothing answered).
// Both come from one probe's result, worded here, so the window only applies them.
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

// How a probe ended, as far as the user can do something about it. The first six are why the configuration gave
// no port; the probe then asked nothing.
enum class ProbeOutcome {
  NoConfigFile,     // nothing at the configuration's path
  ConfigUnreadable, // a file, but it cannot be opened or read (the system's words in the reason)
  ConfigMalformed,  // not well-formed XML (the reader's words in the reason, and the line where it can tell)
  ConfigRefused,    // refused before it was parsed: too large, or entities that expand too far
  NoPortParameter,  // well-formed, but neither httpPort2 nor httpPort in it (what is amiss, if anything, in the reason)
  NotAPort,         // the parameter is there, but its value is no port from 1 to 65535
  Refused,          // no connection on the port
  Silent,           // a connection, but not one byte came back
  Answered,         // the server said something
};

// Whether the configuration gave no port, so that nothing was asked.
[[nodiscard]] constexpr bool FoundNoPort(ProbeOutcome outcome) {
  return outcome != ProbeOutcome::Refused && outcome != ProbeOutcome::Silent && outcome != ProbeOutcome::Answered;
}

// Why the configuration gave no port, as its reader says it.
struct NoPortReason {
  ProbeOutcome Outcome = ProbeOutcome::NoConfigFile; // one for which FoundNoPort holds
  std::string Reason;    // the system's or the reader's words; for NotAPort the value as the file writes it
  int Line = 0;          // ConfigMalformed: the line at fault, counted from 1; 0 when nobody could tell
  std::string Parameter; // NotAPort: the parameter whose value it is
};

// A time of day on the local clock, as the probe saw it end.
struct ClockTime {
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// One probe's whole result, as the window is handed it.
struct ProbeResult {
  ProbeOutcome Outcome = ProbeOutcome::NoConfigFile;
  std::int32_t Port = 0;      // the port asked; 0 when none was found
  std::string ConfigPath;     // the configuration's full path (UTF-8, as the program holds paths)
  ClockTime At;               // when the probe ended
  NoPortReason Why;           // when FoundNoPort(Outcome): why
  std::string RunningSince;   // Answered: what the server reported, as it wrote it
};

// What the window shows for a result: the status line (nothing when the probe asked nothing, and the line stays as
// it was), whether the server runs, and the explanation (the status bar's tooltip and accessible description).
struct StatusWords {
  std::optional<std::string> Line;
  bool ServerRunning = false;
  std::string Explanation;
};

[[nodiscard]] StatusWords WordStatus(const ProbeResult& result);

} // namespace tsm
