// The status bar's words: the line for what the server said, and the tooltip's sentence per way a probe can end.
#include "core/StatusBarText.h"

#include <gtest/gtest.h>

using tsm::ProbeOutcome;
using tsm::ServerReport;

TEST(StatusLine, SaysWhatTheLastProbeHeard) {
  EXPECT_EQ(tsm::StatusLine(std::nullopt), "Checking status");
  EXPECT_EQ(tsm::StatusLine(ServerReport{false, ""}), "Torvale is NOT running");
  EXPECT_EQ(tsm::StatusLine(ServerReport{true, "2026-12-10 06:03:12"}), "Torvale is running since 2026-12-10 06:03:12");
  EXPECT_EQ(tsm::StatusLine(ServerReport{true, ""}), "Torvale is running since ") << "a server that said nothing";
}

TEST(StatusExplanation, EachOutcomeSaysWhereTheLineComesFrom) {
  const std::string config = "C:\\Program Files\\Torvale\\config\\AppConfig.xml";
  struct Case {
    ProbeOutcome outcome;
    const char* words;
  };
  const Case cases[] = {
      {ProbeOutcome::NoConfigFile, "No configuration file at C:\\Program Files\\Torvale\\config\\AppConfig.xml"},
      {ProbeOutcome::NoPortParameter, "The configuration has no httpPort2 or httpPort parameter"},
      {ProbeOutcome::Refused, "Port 8095 refused the connection (19:03:02)"},
      {ProbeOutcome::Silent, "Port 8095 accepted but did not answer"},
      {ProbeOutcome::Answered,
       "Port 8095 from C:\\Program Files\\Torvale\\config\\AppConfig.xml; the server last answered at 19:03:02"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tsm::StatusExplanation(c.outcome, config, 8095, {19, 3, 2}), c.words) << static_cast<int>(c.outcome);
}
