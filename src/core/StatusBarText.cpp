#include "core/StatusBarText.h"

#include <cstdio>

#include "core/ServerContract.h"

namespace tsm {
namespace {

// "19:03:12": the clock the user reads in the corner of the screen, to the second, since probes are 10 s apart.
[[nodiscard]] std::string Clock(ClockTime at) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", at.hour, at.minute, at.second);
  return text;
}

} // namespace

std::string StatusLine(const std::optional<ServerReport>& report) {
  if (!report) return "Checking status";
  if (!report->Answered) return "Torvale is NOT running";
  return "Torvale is running since " + report->RunningSince;
}

std::string StatusExplanation(ProbeOutcome outcome, const std::string& configPath, std::int32_t port, ClockTime at) {
  const std::string portWords = "Port " + std::to_string(port);
  switch (outcome) {
  case ProbeOutcome::NoConfigFile:
    return "No configuration file at " + configPath;
  case ProbeOutcome::NoPortParameter:
    return std::string("The configuration has no ") + kPortParameter + " or " + kFallbackPortParameter + " parameter";
  case ProbeOutcome::Refused:
    return portWords + " refused the connection (" + Clock(at) + ")";
  case ProbeOutcome::Silent:
    return portWords + " accepted but did not answer";
  case ProbeOutcome::Answered:
    break;
  }
  return portWords + " from " + configPath + "; the server last answered at " + Clock(at);
}

} // namespace tsm
