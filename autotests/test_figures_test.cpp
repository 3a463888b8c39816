#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "adaptor_tests/adaptor_tests.h"
#include "adaptor_tests/number_formats.h"
#include "adaptor_tests/transfer_speed.h"
#include "common/number_text.h"

namespace {

TEST(ExchangeTimeout, OneAndAHalfLineTimesWithinTheLimits) {
  const std::tuple<std::int32_t, std::int32_t, std::int32_t> cases[] = {
      {4800, 200, 799}, {8192, 200, 468}, {9600, 200, 399}, {19200, 200, 200}, {115200, 200, 200},
      {0, 100, 5000},   {19200, 100, 199}, {57600, 100, 100}};
  for (auto [rate, floor, timeout] : cases) EXPECT_EQ(ExchangeTimeout(rate, floor), timeout) << rate;
}

TEST(TransferSpeed, ABlockBackWithinTheCorrectionFailsWithAFiniteRate) {
  for (std::uint32_t elapsed : {0u, 5u, 10u}) {
    const TransferSpeed speed = TransferSpeedFromElapsed(elapsed);
    EXPECT_FALSE(speed.good) << elapsed;
    EXPECT_TRUE(std::isfinite(speed.measuredRate)) << elapsed;
  }
}

// Each run sends other bytes, from 0 to 254, never 255.
TEST(TransferSpeed, TheSpeedBlockIsRandomBytesBelow255) {
  const ByteBuffer block = RandomSpeedBlock(1234);
  EXPECT_EQ(block.size(), 2048u);
  EXPECT_EQ(*std::ranges::max_element(block), 254);
  EXPECT_NE(block, RandomSpeedBlock(1235));
}

// The runs show the other figures.
TEST(NumberFormats, PercentWithTheSeparatorGivenAndSignedFigures) {
  EXPECT_EQ(FormatPercent(8601.0 / 8192 - 1, ","), "5,0%");
  EXPECT_EQ(FormatPercent(-0.0004, "."), "0.0%");
  EXPECT_EQ(FormatPercent(2.499, "."), "249.9%");
  EXPECT_EQ(NumberText(-2), "-2");
}

}  // namespace
