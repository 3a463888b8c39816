#include "link/link_exchange.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

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
  LinkExchange link{comm, clock, [this] { ++eventPasses; }};
};

TEST_F(LinkExchangeTest, TransmitWaitsUntilTheQueueHasEmptied) {
  const std::int32_t start = clock.Reading();
  EXPECT_TRUE(link.ALDL_XMIT(Block(256), 400));
  EXPECT_EQ(comm.OutBufferCount(), 0);
  EXPECT_GE(clock.Reading() - start, 266);
  EXPECT_FALSE(link.ALDL_XMIT(Block(256), 100));
}

TEST_F(LinkExchangeTest, TransmitWithoutTimeStillWritesTheBlock) {
  // The block is on its way: a byte or two has left while the clock was read.
  EXPECT_FALSE(link.ALDL_XMIT(Block(256), 0));
  EXPECT_GT(comm.OutBufferCount(), 250);
  comm.SetOutBufferCount(0);
  EXPECT_FALSE(link.ALDL_XMIT(Block(10), -5));
  EXPECT_GT(comm.OutBufferCount(), 5);
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
  EXPECT_GE(clock.Reading() - start, 500);
  EXPECT_GT(eventPasses, 400);

  eventPasses = 0;
  link.DelayMs(0);
  link.DelayMs(-3);
  EXPECT_EQ(eventPasses, 0);
}

// Each wait ends on time when the 32-bit clock turns negative or wraps to 0 during it.
class LinkExchangeAcrossClockWrap : public LinkExchangeTest,
                                    public ::testing::WithParamInterface<std::int32_t> {
 protected:
  LinkExchangeAcrossClockWrap() : LinkExchangeTest(GetParam()) {}
};

TEST_P(LinkExchangeAcrossClockWrap, WaitsEndOnTime) {
  const ByteBuffer sent = Block(256);
  EXPECT_TRUE(link.ALDL_XMIT(sent, 400));
  ByteBuffer received(256);
  EXPECT_TRUE(link.ReceiveEcuData(received, 256, 400));
  EXPECT_EQ(received, sent);

  const std::uint32_t beforeTimeout = static_cast<std::uint32_t>(clock.Reading());
  EXPECT_FALSE(link.ReceiveEcuData(received, 256, 100));
  const std::uint32_t waited = static_cast<std::uint32_t>(clock.Reading()) - beforeTimeout;
  EXPECT_GE(waited, 100u);
  EXPECT_LE(waited, 105u);

  const std::uint32_t beforeDelay = static_cast<std::uint32_t>(clock.Reading());
  link.DelayMs(200);
  EXPECT_LE(static_cast<std::uint32_t>(clock.Reading()) - beforeDelay, 205u);
}

INSTANTIATE_TEST_SUITE_P(SignedTurnAndWrapToZero, LinkExchangeAcrossClockWrap,
                         ::testing::Values(std::numeric_limits<std::int32_t>::max() - 300, -300));

TEST(LinkExchangePulledCable, GivesFalseInsteadOfAnError) {
  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  ports.Assign(1, "sim:unplug=50");
  MSComm comm(ports);
  comm.SetCommPort(1);
  comm.SetPortOpen(true);
  LinkExchange link(comm, clock, [] {});
  clock.Advance(60);
  ByteBuffer buffer(16);
  EXPECT_FALSE(link.ALDL_XMIT(buffer, 100));
  EXPECT_FALSE(link.ReceiveEcuData(buffer, 16, 100));
}

}  // namespace
