#include "common/number_text.h"

#include <gtest/gtest.h>

TEST(NumberText, SignPositionIsASpaceForNonNegativeNumbers) {
  EXPECT_EQ(NumberText(8192), " 8192");
  EXPECT_EQ(NumberText(0), " 0");
  EXPECT_EQ(NumberText(-2), "-2");
}
