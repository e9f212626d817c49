#include "ServiceErrorText.h"

#include <gtest/gtest.h>

TEST(ServiceErrorText, UnknownCodeFallsBack) { EXPECT_EQ(tsm::QueryErrorText(1), "Unknown error occurred"); }
