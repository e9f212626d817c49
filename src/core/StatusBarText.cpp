#include "core/StatusBarText.h"

#include <cstdio>

#include "core/ConfigNumber.h"
#include "core/ServerContract.h"

namespace tsm {
namespace {

// "19:03:12": the clock the user reads in the corner of the screen, to the second, since probes are 10 s apart.
[[nodiscard]] std::string Clock(ClockTime at) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", at.hour, at.minute, at.second);
  return text;
}

// The system's and the reader's texts end in a line break (Wine's) or a full stop; the explanation goes on after them.
[[nodiscard]] std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

[[nodiscard]] std::string Explanation(const ProbeResult& result) {
  const std::string& path = result.ConfigPath;
  const NoPortReason& why = result.Why;
  const std::string portWords = "Port " + std::to_string(result.Port);
  switch (result.Outcome) {
  case ProbeOutcome::NoConfigFile:
    return "No configuration file at " + path;
  case ProbeOutcome::ConfigUnreadable:
    return "Cannot read " + path + ": " + Trimmed(why.Reason);
  case ProbeOutcome::ConfigMalformed:
    return path + " is not well-formed XML" + (why.Line > 0 ? " (line " + std::to_string(why.Line) + ")" : "") + ": " +
           Trimmed(why.Reason);
  case ProbeOutcome::ConfigRefused:
    return path + " was not read: " + Trimmed(why.Reason);
  case ProbeOutcome::NoPortParameter:
    return std::string("The configuration has no ") + kPortParameter + " or " + kFallbackPortParameter + " parameter" +
           (why.Reason.empty() ? "" : ": " + Trimmed(why.Reason));
  case ProbeOutcome::NotAPort:
    return "The configuration's " + why.Parameter + " is \"" + why.Reason + "\", not a port from 1 to " +
           std::to_string(kHighestPort);
  case ProbeOutcome::Refused:
    return portWords + " refused the connection (" + Clock(result.At) + ")";
  case ProbeOutcome::Silent:
    return portWords + " accepted but did not answer";
  case ProbeOutcome::Answered:
    break;
  }
  return portWords + " from " + path + "; the server last answered at " + Clock(result.At);
}

} // namespace

std::string StatusLine(const std::optional<ServerReport>& report) {
  if (!report) return "Checking status";
  if (!report->Answered) return "Torvale is NOT running";
  return "Torvale is running since " + report->RunningSince;
}

StatusWords WordStatus(const ProbeResult& result) {
  StatusWords words;
  words.Explanation = Explanation(result);
  if (FoundNoPort(result.Outcome)) return words;
  words.ServerRunning = result.Outcome != ProbeOutcome::Refused;
  words.Line = StatusLine(ServerReport{words.ServerRunning, result.RunningSince});
  return words;
}

} // namespace tsm
