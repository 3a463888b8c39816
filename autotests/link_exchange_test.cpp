#include "link/link_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>

#include "serial/MSComm.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

namespace {

// A looped-back simulated adaptor at 9600 baud (a 256-byte block takes 266.7 ms on the line).
class LinkExchangeTest : public ::testing::Test {
 protected:
  explicit LinkExchangeTest(std::int32_t start = 1000, const char* device = "sim") : clock(start) {
    ports.Assign(1, device);
    comm.SetCommPort(1);
    comm.SetDTREnable(true);
    comm.SetPortOpen(true);
  }

  static ByteBuffer Block(std::size_t length) {
    ByteBuffer bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
  }

  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  MSComm comm{ports};
  int eventPasses = 0;
  int repaints = 0;
  LinkExchange link{comm, clock, {[this](std::int32_t) { ++eventPasses; }, [this] { ++repaints; }}};
};

// Whatever waits is fetched into the front of the buffer (the rest zero); what the buffer
// cannot hold is lost; true only when exactly the expected number came in time.
TEST_F(LinkExchangeTest, ReceiveFetchesWhatArrived) {
  struct Case {
    std::size_t arrived, expected, bufferSize;
    std::int32_t limitMs;
    bool result;
  };
  for (const Case& c : {Case{256, 256, 256, 400, true}, Case{100, 256, 256, 300, false},
                        Case{300, 256, 256, 100, false}, Case{256, 256, 100, 100, true},
                        Case{40, 40, 256, 0, false}, Case{0, 0, 8, 100, true}}) {
    SCOPED_TRACE(testing::Message() << c.arrived << " of " << c.expected << " into " << c.bufferSize);
    const ByteBuffer sent = Block(c.arrived);
    comm.SetOutput(sent);
    if (c.limitMs < 300) clock.Advance(400);
    ByteBuffer received(c.bufferSize, 0xEE);
    EXPECT_EQ(link.ReceiveEcuData(received, static_cast<std::int32_t>(c.expected), c.limitMs), c.result);
    const std::size_t kept = std::min(c.arrived, c.bufferSize);
    EXPECT_TRUE(std::equal(received.begin(), received.begin() + kept, sent.begin()));
    EXPECT_TRUE(std::all_of(received.begin() + kept, received.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(comm.InBufferCount(), 0);
  }
}

// Only the delay lets user events in; sending and receiving keep the window painted.
TEST_F(LinkExchangeTest, OnlyTheDelayLetsUserEventsIn) {
  link.DelayMs(500);
  EXPECT_EQ(std::pair(eventPasses, repaints), std::pair(500, 0));
  eventPasses = 0;
  ByteBuffer received(256);
  EXPECT_TRUE(link.ALDL_XMIT(Block(256), 400) && link.ReceiveEcuData(received, 256, 400));
  EXPECT_FALSE(link.ReceiveEcuData(received, 256, 100));
  EXPECT_EQ(eventPasses, 0);
  EXPECT_GE(repaints, 400 / 20);
}

// A wait ends at the first clock reading at or past its start plus its limit, also when the
// 32-bit clock turns negative or wraps to 0 during it; the clock is read before the count, so
// what is done on the very reading of the deadline is too late. At 9600 baud the last of 256
// bytes has left at 266.7 ms (the reading 267) and is back at 276.7 ms (the reading 277).
struct WaitBoundary {
  const char* name;
  enum { Transmit, Receive, ReceiveNothing, Delay } wait;
  std::int32_t limitMs;
  bool result;
  std::int32_t waitedMs;
};

void PrintTo(const WaitBoundary& c, std::ostream* out) { *out << c.name; }

class LinkExchangeBoundary
    : public LinkExchangeTest,
      public ::testing::WithParamInterface<std::tuple<std::int32_t, WaitBoundary>> {
 protected:
  LinkExchangeBoundary() : LinkExchangeTest(std::get<0>(GetParam())) {}
};

TEST_P(LinkExchangeBoundary, EndsOnTheReadingOfTheDeadline) {
  const WaitBoundary& c = std::get<1>(GetParam());
  const std::int32_t start = clock.Reading();
  ByteBuffer received(256);
  bool result = false;
  switch (c.wait) {
    case WaitBoundary::Transmit:
      result = link.ALDL_XMIT(Block(256), c.limitMs);
      EXPECT_EQ(comm.OutBufferCount(), c.limitMs > 0 ? 0 : 256) << "the block is written";
      break;
    case WaitBoundary::Receive:
      comm.SetOutput(Block(256));
      result = link.ReceiveEcuData(received, 256, c.limitMs);
      break;
    case WaitBoundary::ReceiveNothing: result = link.ReceiveEcuData(received, 1, c.limitMs); break;
    case WaitBoundary::Delay: link.DelayMs(c.limitMs); break;
  }
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(Deadline::Since(start, clock.Reading()), static_cast<std::uint32_t>(c.waitedMs));
}

INSTANTIATE_TEST_SUITE_P(
    Waits, LinkExchangeBoundary,
    ::testing::Combine(
        ::testing::Values(1000, std::numeric_limits<std::int32_t>::max() - 150, -150),
        ::testing::Values(WaitBoundary{"QueueEmptiesOnTheDeadline", WaitBoundary::Transmit, 267, false, 267},
                          WaitBoundary{"QueueEmptiesAMillisecondBefore", WaitBoundary::Transmit, 268, true, 267},
                          WaitBoundary{"TransmitWithoutTime", WaitBoundary::Transmit, 0, false, 0},
                          WaitBoundary{"LastByteBackOnTheDeadline", WaitBoundary::Receive, 277, false, 277},
                          WaitBoundary{"LastByteBackAMillisecondBefore", WaitBoundary::Receive, 278, true, 277},
                          WaitBoundary{"NothingComes", WaitBoundary::ReceiveNothing, 300, false, 300},
                          WaitBoundary{"Delay", WaitBoundary::Delay, 300, false, 300},
                          WaitBoundary{"NegativeDelay", WaitBoundary::Delay, -3, false, 0})),
    [](const auto& info) {
      const std::int32_t start = std::get<0>(info.param);
      return std::string(std::get<1>(info.param).name) +
             (start == 1000 ? "" : start < 0 ? "WhileTheClockWrapsToZero" : "WhileTheClockTurnsNegative");
    });

struct LinkExchangePulledCable : LinkExchangeTest {
  LinkExchangePulledCable() : LinkExchangeTest(1000, "sim:unplug=50") {}
};

TEST_F(LinkExchangePulledCable, GivesFalseInsteadOfAnError) {
  clock.Advance(60);
  ByteBuffer buffer(16);
  EXPECT_FALSE(link.ALDL_XMIT(buffer, 100));
  EXPECT_FALSE(link.ReceiveEcuData(buffer, 16, 100));
}

}  // namespace
