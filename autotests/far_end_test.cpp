#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "paced_echo.h"
#include "qemu_trace.h"

namespace {

using namespace std::chrono_literals;

struct TraceCase {
  const char* name;
  ChipState before;
  std::string line;
  bool changes;
  ChipState after;
};

void PrintTo(const TraceCase& c, std::ostream* out) { *out << c.name; }

class TraceLineTest : public testing::TestWithParam<TraceCase> {};

TEST_P(TraceLineTest, UpdatesWhatTheChipWasTold) {
  const TraceCase& c = GetParam();
  ChipState state = c.before;
  EXPECT_EQ(ApplyTraceLine(c.line, state), c.changes);
  EXPECT_EQ(state.dtr, c.after.dtr);
  EXPECT_EQ(state.rts, c.after.rts);
  EXPECT_EQ(state.rate, c.after.rate);
}

const std::string kControl = "usb_serial_handle_control dev 0:1 got control ";

INSTANTIATE_TEST_SUITE_P(
    QemuTrace, TraceLineTest,
    testing::Values(
        TraceCase{"RaiseDtrOnly", {}, kControl + "0x4001, value 0x101", true, {true, false, 0}},
        TraceCase{"LowerRtsLeavesDtr", {true, true, 0}, kControl + "0x4001, value 0x200", true,
                  {true, false, 0}},
        TraceCase{"BothAtOnce", {}, kControl + "0x4001, value 0x303", true, {true, true, 0}},
        TraceCase{"LineBitsWithoutTheirChangeBitsAreIgnored", {}, kControl + "0x4001, value 0x3",
                  false, {false, false, 0}},
        TraceCase{"OtherRequestsAreIgnored", {}, kControl + "0x8006, value 0x303", false,
                  {false, false, 0}},
        TraceCase{"Rate", {true, false, 9600}, "usb_serial_set_baud dev 0:1 baud rate 8191", true,
                  {true, false, 8191}},
        TraceCase{"TimestampedLine", {}, "4242@1765000000.123456:" + kControl + "0x4001, value 0x202",
                  true, {false, true, 0}},
        TraceCase{"CutOffLine", {}, kControl + "0x4001, value ", false, {false, false, 0}},
        TraceCase{"UnrelatedEvent", {}, "usb_serial_reset dev 0:1 reset", false, {false, false, 0}}),
    [](const testing::TestParamInfo<TraceCase>& info) { return info.param.name; });

using Clock = PacedEcho::Clock;
const Clock::time_point kStart{1s};
const std::vector<std::uint8_t> kBlock = {1, 2, 3, 4, 5};

// At 1000 baud a character takes 10 ms; bytes that come while the line is busy wait for it.
TEST(PacedEcho, BytesLeaveOneCharacterTimeApartAtTheRateInForce) {
  PacedEcho echo;
  echo.SetRate(1000);
  echo.Accept(kBlock, kStart);
  echo.Accept(std::vector<std::uint8_t>{6}, kStart + 20ms);
  EXPECT_TRUE(echo.TakeDue(kStart + 9ms).empty());
  EXPECT_EQ(echo.TakeDue(kStart + 10ms), std::vector<std::uint8_t>({1}));
  EXPECT_EQ(echo.TakeDue(kStart + 35ms), std::vector<std::uint8_t>({2, 3}));
  EXPECT_EQ(echo.NextDue(), kStart + 40ms);
  EXPECT_EQ(echo.TakeDue(kStart + 55ms), std::vector<std::uint8_t>({4, 5}));
  EXPECT_EQ(echo.NextDue(), kStart + 60ms);
  echo.TakeDue(kStart + 1s);
  EXPECT_FALSE(echo.NextDue());
  // An idle line sends one character time after arrival.
  echo.Accept(std::vector<std::uint8_t>{7}, kStart + 2s);
  EXPECT_EQ(echo.NextDue(), kStart + 2s + 10ms);
  echo.Clear();
  EXPECT_FALSE(echo.NextDue());
}

// A new rate applies to bytes accepted after it; no rate (0) keeps the rate in force.
TEST(PacedEcho, ANewRateAppliesToBytesAcceptedAfterIt) {
  PacedEcho echo;
  echo.SetRate(1000);
  echo.Accept(std::vector<std::uint8_t>{1}, kStart);
  echo.SetRate(10000);
  echo.SetRate(0);
  echo.Accept(std::vector<std::uint8_t>{2}, kStart);
  EXPECT_EQ(echo.TakeDue(kStart + 10ms), std::vector<std::uint8_t>({1}));
  EXPECT_EQ(echo.NextDue(), kStart + 11ms);
}

}  // namespace
