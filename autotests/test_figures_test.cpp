#include <gtest/gtest.h>

#include <cmath>

#include "tests/adaptor_tests.h"
#include "tests/number_formats.h"
#include "tests/transfer_speed.h"

namespace {

TEST(ExchangeTimeout, OneAndAHalfLineTimesWithinTheLimits) {
  const std::pair<std::int32_t, std::int32_t> extended[] = {
      {4800, 799}, {8192, 468}, {9600, 399}, {19200, 200}, {57600, 200}, {115200, 200}};
  for (auto [rate, timeout] : extended) EXPECT_EQ(ExchangeTimeout(rate, 200), timeout) << rate;

  const std::pair<std::int32_t, std::int32_t> fast[] = {
      {0, 5000}, {4800, 799}, {19200, 199}, {57600, 100}, {115200, 100}};
  for (auto [rate, timeout] : fast) EXPECT_EQ(ExchangeTimeout(rate, 100), timeout) << rate;
}

TEST(TransferSpeed, AcceptedFrom2392To2641Milliseconds) {
  EXPECT_FALSE(TransferSpeedFromElapsed(2391).good);
  EXPECT_TRUE(TransferSpeedFromElapsed(2392).good);
  EXPECT_TRUE(TransferSpeedFromElapsed(2641).good);
  EXPECT_FALSE(TransferSpeedFromElapsed(2642).good);
  EXPECT_FLOAT_EQ(TransferSpeedFromElapsed(2510).measuredRate, 8192.0f);
}

TEST(TransferSpeed, ABlockBackWithinTheCorrectionFailsWithAFiniteRate) {
  for (std::uint32_t elapsed : {0u, 5u, 10u}) {
    const TransferSpeed speed = TransferSpeedFromElapsed(elapsed);
    EXPECT_FALSE(speed.good) << elapsed;
    EXPECT_TRUE(std::isfinite(speed.measuredRate)) << elapsed;
  }
}

TEST(NumberFormats, WholeAndPercentFigures) {
  EXPECT_EQ(FormatWhole(8224.9), "8225");
  EXPECT_EQ(FormatWhole(8192), "8192");
  EXPECT_EQ(FormatPercent(0, "."), "0.0%");
  EXPECT_EQ(FormatPercent(7784.1 / 8192 - 1, "."), "-5.0%");
  EXPECT_EQ(FormatPercent(8601.0 / 8192 - 1, ","), "5,0%");
  EXPECT_EQ(FormatPercent(-0.0004, "."), "0.0%");
  EXPECT_EQ(FormatPercent(2.499, "."), "249.9%");
}

}  // namespace
