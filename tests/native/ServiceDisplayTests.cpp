// How service states show, and how an uncaught exception's message reads.
#include "core/ErrorBoxText.h"
#include "core/ServiceDisplay.h"

#include <gtest/gtest.h>

using tsm::DisplayForState;
using tsm::ServiceDisplay;
using tsm::StatusPicture;

TEST(ServiceDisplay, EachStateShowsItsLightAndButtons) {
  struct Case {
    int state;
    ServiceDisplay expected;
  };
  const Case cases[] = {
      {1, {StatusPicture::Stopped, true, false}}, // stopped: only Start
      {4, {StatusPicture::Running, false, true}}, // running: only Stop
      {2, {StatusPicture::Pending, false, false}},  {3, {StatusPicture::Pending, false, false}},
      {5, {StatusPicture::Pending, false, false}},  {6, {StatusPicture::Pending, false, false}},
      {7, {StatusPicture::Pending, false, false}}, // paused waits like a pending state
      {8, {StatusPicture::Pending, false, false}}, // a state the manager may add one day
      {-1, {StatusPicture::Pending, false, false}},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayForState(c.state), c.expected) << "state " << c.state;
}

TEST(ServiceDisplay, NoStateMeansTheUnregisteredPage) { EXPECT_FALSE(DisplayForState(0).has_value()); }

TEST(ServiceDisplay, CacheValuesAreTheOnesTheWindowKeeps) {
  EXPECT_EQ(static_cast<int>(StatusPicture::None), 0);
  EXPECT_EQ(static_cast<int>(StatusPicture::Stopped), 1);
  EXPECT_EQ(static_cast<int>(StatusPicture::Running), 2);
  EXPECT_EQ(static_cast<int>(StatusPicture::Pending), 3);
}

TEST(ExceptionBoxText, AFullStopEndsOnlyWhatSortsAfterIt) {
  struct Case {
    const char* message;
    const char* shown;
  };
  const Case cases[] = {
      {"Disk full", "Disk full."}, {"Done.", "Done."},    {"", ""},
      {"Failed:", "Failed:."},     {"Code 5", "Code 5."}, {"Odd-", "Odd-"},
      {"Really!", "Really!"},      {"Path /", "Path /."}, {"Tab\t", "Tab\t"},
      {"\xe9t\xe9", "\xe9t\xe9."}, // bytes above 127 compare as unsigned
  };
  for (const auto& c : cases) EXPECT_EQ(tsm::ExceptionBoxText(c.message), c.shown) << c.message;
}
