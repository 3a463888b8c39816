#include "link/link_exchange.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>

#include "serial/MSComm.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

namespace {

// A looped-back simulated adaptor at 9600 baud (a 256-byte block takes 266.7 ms on the line).
class LinkExchangeTest : public ::testing::Test {
 protected:
  explicit LinkExchangeTest(std::int32_t start = 1000, const std::string& device = "sim")
      : clock(start), ports(SafePortMap(clock.Source())) {
    ports.Assign(1, device);
    comm.SetCommPort(1);
    comm.SetDTREnable(true);
    comm.SetPortOpen(true);
  }

  ByteBuffer Block(std::size_t length) {
    ByteBuffer bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
  }

  // Sends bytes and lets them all come back before the routine under test looks.
  void Echoed(const ByteBuffer& bytes) {
    comm.SetOutput(bytes);
    clock.Advance(static_cast<std::int32_t>(bytes.size()) * 10000 / 9600 + 20);
  }

  FakeClock clock;
  PortMap ports;
  MSComm comm{ports};
  int eventPasses = 0;
  int repaints = 0;
  LinkExchange link{comm, clock, {[this](std::int32_t) { ++eventPasses; }, [this] { ++repaints; }}};
};

TEST_F(LinkExchangeTest, TransmitWaitsUntilTheQueueHasEmptied) {
  const std::int32_t start = clock.Reading();
  EXPECT_TRUE(link.ALDL_XMIT(Block(256), 400));
  EXPECT_EQ(comm.OutBufferCount(), 0);
  EXPECT_EQ(clock.Reading() - start, 267);
  EXPECT_FALSE(link.ALDL_XMIT(Block(256), 100));
}

TEST_F(LinkExchangeTest, TransmitWithoutTimeStillWritesTheBlock) {
  EXPECT_FALSE(link.ALDL_XMIT(Block(256), 0));
  EXPECT_EQ(comm.OutBufferCount(), 256);
  comm.SetOutBufferCount(0);
  EXPECT_FALSE(link.ALDL_XMIT(Block(10), -5));
  EXPECT_EQ(comm.OutBufferCount(), 10);
}

TEST_F(LinkExchangeTest, ReceiveOfExactlyTheExpectedBytes) {
  const ByteBuffer sent = Block(256);
  comm.SetOutput(sent);
  ByteBuffer received(256, 0xEE);
  EXPECT_TRUE(link.ReceiveEcuData(received, 256, 400));
  EXPECT_EQ(received, sent);
}

TEST_F(LinkExchangeTest, ReceiveOfFewerBytesKeepsThemAtTheFront) {
  const ByteBuffer sent = Block(100);
  comm.SetOutput(sent);
  ByteBuffer received(256, 0xEE);
  EXPECT_FALSE(link.ReceiveEcuData(received, 256, 300));
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), received.begin()));
  EXPECT_TRUE(std::all_of(received.begin() + 100, received.end(), [](auto b) { return b == 0; }));
}

// Whatever waits is fetched; what the buffer cannot hold is removed and lost.
TEST_F(LinkExchangeTest, BytesBeyondTheExpectedOrTheBufferAreDropped) {
  struct Case {
    std::size_t arrived, bufferSize;
    bool result;
  };
  for (const Case& c : {Case{300, 256, false}, Case{256, 100, true}}) {
    const ByteBuffer sent = Block(c.arrived);
    Echoed(sent);
    ByteBuffer received(c.bufferSize);
    EXPECT_EQ(link.ReceiveEcuData(received, 256, 100), c.result) << c.arrived;
    EXPECT_TRUE(std::equal(received.begin(), received.end(), sent.begin())) << c.arrived;
    EXPECT_EQ(comm.InBufferCount(), 0) << c.arrived;
  }
}

TEST_F(LinkExchangeTest, ReceiveWithoutTimeStillFetchesWhatWaits) {
  const ByteBuffer sent = Block(40);
  Echoed(sent);
  ByteBuffer received(256, 0xEE);
  EXPECT_FALSE(link.ReceiveEcuData(received, 40, 0));
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), received.begin()));
  EXPECT_EQ(received[40], 0);

  ByteBuffer nothing(8, 0xEE);
  EXPECT_TRUE(link.ReceiveEcuData(nothing, 0, 100));
  EXPECT_EQ(nothing, ByteBuffer(8, 0));
}

TEST_F(LinkExchangeTest, DelayProcessesEventsOnlyWhenItWaits) {
  const std::int32_t start = clock.Reading();
  link.DelayMs(500);
  EXPECT_EQ(clock.Reading() - start, 500);
  EXPECT_EQ(eventPasses, 500);
  EXPECT_EQ(repaints, 0);

  eventPasses = 0;
  link.DelayMs(0);
  link.DelayMs(-3);
  EXPECT_EQ(eventPasses, 0);
}

// Sending and receiving keep the window painted and let no user events in.
TEST_F(LinkExchangeTest, SendAndReceiveOnlyRepaint) {
  const ByteBuffer sent = Block(256);
  EXPECT_TRUE(link.ALDL_XMIT(sent, 400));
  ByteBuffer received(256);
  EXPECT_TRUE(link.ReceiveEcuData(received, 256, 400));
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

class LinkExchangeBoundary
    : public LinkExchangeTest,
      public ::testing::WithParamInterface<std::tuple<std::int32_t, WaitBoundary>> {
 protected:
  LinkExchangeBoundary() : LinkExchangeTest(std::get<0>(GetParam())) {}
};

TEST_P(LinkExchangeBoundary, EndsOnTheReadingOfTheDeadline) {
  const WaitBoundary& c = std::get<1>(GetParam());
  const std::uint32_t start = static_cast<std::uint32_t>(clock.Reading());
  ByteBuffer received(256);
  bool result = false;
  switch (c.wait) {
    case WaitBoundary::Transmit: result = link.ALDL_XMIT(Block(256), c.limitMs); break;
    case WaitBoundary::Receive:
      comm.SetOutput(Block(256));
      result = link.ReceiveEcuData(received, 256, c.limitMs);
      break;
    case WaitBoundary::ReceiveNothing: result = link.ReceiveEcuData(received, 1, c.limitMs); break;
    case WaitBoundary::Delay: link.DelayMs(c.limitMs); break;
  }
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(static_cast<std::uint32_t>(clock.Reading()) - start, static_cast<std::uint32_t>(c.waitedMs));
}

INSTANTIATE_TEST_SUITE_P(
    Waits, LinkExchangeBoundary,
    ::testing::Combine(
        ::testing::Values(1000, std::numeric_limits<std::int32_t>::max() - 150, -150),
        ::testing::Values(WaitBoundary{"QueueEmptiesOnTheDeadline", WaitBoundary::Transmit, 267, false, 267},
                          WaitBoundary{"QueueEmptiesAMillisecondBefore", WaitBoundary::Transmit, 268, true, 267},
                          WaitBoundary{"LastByteBackOnTheDeadline", WaitBoundary::Receive, 277, false, 277},
                          WaitBoundary{"LastByteBackAMillisecondBefore", WaitBoundary::Receive, 278, true, 277},
                          WaitBoundary{"NothingComes", WaitBoundary::ReceiveNothing, 300, false, 300},
                          WaitBoundary{"Delay", WaitBoundary::Delay, 300, false, 300})),
    [](const auto& info) {
      const std::int32_t start = std::get<0>(info.param);
      return std::string(std::get<1>(info.param).name) +
             (start == 1000 ? "" : start < 0 ? "WhileTheClockWrapsToZero" : "WhileTheClockTurnsNegative");
    });

TEST(LinkExchangePulledCable, GivesFalseInsteadOfAnError) {
  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  ports.Assign(1, "sim:unplug=50");
  MSComm comm(ports);
  comm.SetCommPort(1);
  comm.SetPortOpen(true);
  LinkExchange link(comm, clock, {[](std::int32_t) {}, [] {}});
  clock.Advance(60);
  ByteBuffer buffer(16);
  EXPECT_FALSE(link.ALDL_XMIT(buffer, 100));
  EXPECT_FALSE(link.ReceiveEcuData(buffer, 16, 100));
}

}  // namespace
