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

// Each way a probe ends: the line it shows (none when it asked nothing), whether the server runs, and the
// explanation, for every reason the configuration can give no port and every answer the server can give.
TEST(WordStatus, EachOutcomeSaysWhereTheLineComesFrom) {
  const std::string config = "C:\\Program Files\\Torvale\\config\\AppConfig.xml";
  struct Case {
    ProbeOutcome outcome;
    const char* reason; // the reader's words, or the value that is not a port
    int faultLine;
    const char* parameter;
    const char* line; // null: the line stays as it was
    const char* words;
  };
  const Case cases[] = {
      {ProbeOutcome::NoConfigFile, "", 0, "", nullptr,
       "No configuration file at C:\\Program Files\\Torvale\\config\\AppConfig.xml"},
      {ProbeOutcome::ConfigUnreadable, "Access denied.\r\n", 0, "", nullptr,
       "Cannot read C:\\Program Files\\Torvale\\config\\AppConfig.xml: Access denied"},
      {ProbeOutcome::ConfigMalformed, "error", 5, "", nullptr,
       "C:\\Program Files\\Torvale\\config\\AppConfig.xml is not well-formed XML (line 5): error"},
      {ProbeOutcome::ConfigMalformed, "Reference to undefined entity 'port'.\r\n", 0, "", nullptr,
       "C:\\Program Files\\Torvale\\config\\AppConfig.xml is not well-formed XML: Reference to undefined entity 'port'"},
      {ProbeOutcome::ConfigRefused, "The file's entities expand too far", 0, "", nullptr,
       "C:\\Program Files\\Torvale\\config\\AppConfig.xml was not read: The file's entities expand too far"},
      {ProbeOutcome::NoPortParameter, "", 0, "", nullptr,
       "The configuration has no httpPort2 or httpPort parameter"},
      {ProbeOutcome::NoPortParameter, "Config file is not in expected format", 0, "", nullptr,
       "The configuration has no httpPort2 or httpPort parameter: Config file is not in expected format"},
      {ProbeOutcome::NotAPort, "0x", 0, "httpPort", nullptr,
       "The configuration's httpPort is \"0x\", not a port from 1 to 65535"},
      {ProbeOutcome::Refused, "", 0, "", "Torvale is NOT running", "Port 8095 refused the connection (19:03:02)"},
      {ProbeOutcome::Silent, "", 0, "", "Torvale is running since ", "Port 8095 accepted but did not answer"},
      {ProbeOutcome::Answered, "", 0, "", "Torvale is running since 06:03",
       "Port 8095 from C:\\Program Files\\Torvale\\config\\AppConfig.xml; the server last answered at 19:03:02"},
  };
  for (const auto& c : cases) {
    tsm::ProbeResult result;
    result.Outcome = c.outcome;
    result.Port = tsm::FoundNoPort(c.outcome) ? 0 : 8095;
    result.ConfigPath = config;
    result.At = {19, 3, 2};
    result.Why = {c.outcome, c.reason, c.faultLine, c.parameter};
    if (c.outcome == ProbeOutcome::Answered) result.RunningSince = "06:03";
    const tsm::StatusWords words = tsm::WordStatus(result);
    SCOPED_TRACE(c.words);
    EXPECT_EQ(words.Explanation, c.words);
    EXPECT_EQ(words.Line, c.line ? std::optional<std::string>(c.line) : std::nullopt);
    EXPECT_EQ(words.ServerRunning, c.line && std::string(c.line) != "Torvale is NOT running");
  }
}
