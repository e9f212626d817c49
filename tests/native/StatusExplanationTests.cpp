// The status bar's tooltip: one sentence per way a probe can end.
#include "core/StatusExplanation.h"

#include <gtest/gtest.h>

using tsm::ProbeOutcome;

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
