#include "link/link_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <tuple>

#include "serial/MSComm.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

namespace {

// A looped-back simulated adaptor at 9600 baud (a 256-byte block takes 266.7 ms on the line).
struct Loopback {
  explicit Loopback(std::int32_t start = 1000) : clock(start) {
    ports.Assign(1, "sim");
    comm.SetCommPort(1);
    comm.SetDTREnable(true);
    comm.SetPortOpen(true);
  }

  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  MSComm comm{ports};
  int eventPasses = 0;
  int repaints = 0;
  LinkExchange link{comm, clock, {[this](std::int32_t) { ++eventPasses; }, [this] { ++repaints; }}};
};

ByteBuffer Block(std::size_t length) {
  ByteBuffer bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return bytes;
}

// Whatever waits is fetched into the front of the buffer (the rest zero); what the buffer
// cannot hold is lost; true only when exactly the expected number came in time.
TEST(LinkExchange, ReceiveFetchesWhatArrived) {
  Loopback loop;
  // Bytes arrived, bytes expected, buffer size, limit, result.
  const std::tuple<std::size_t, std::int32_t, std::size_t, std::int32_t, bool> cases[] = {
      {256, 256, 256, 400, true}, {100, 256, 256, 300, false}, {300, 256, 256, 100, false},
      {256, 256, 100, 100, true}, {40, 40, 256, 0, false},     {0, 0, 8, 100, true}};
  for (const auto& [arrived, expected, bufferSize, limitMs, result] : cases) {
    SCOPED_TRACE(testing::Message() << arrived << " of " << expected << " into " << bufferSize);
    const ByteBuffer sent = Block(arrived);
    loop.comm.SetOutput(sent);
    if (limitMs < 300) loop.clock.Advance(400);
    ByteBuffer received(bufferSize, 0xEE);
    EXPECT_EQ(loop.link.ReceiveEcuData(received, expected, limitMs), result);
    const std::size_t kept = std::min(arrived, bufferSize);
    EXPECT_TRUE(std::equal(received.begin(), received.begin() + kept, sent.begin()));
    EXPECT_TRUE(std::all_of(received.begin() + kept, received.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(loop.comm.InBufferCount(), 0);
  }
}

// A wait ends at the first clock reading at or past its start plus its limit, also when the
// 32-bit clock turns negative or wraps to 0 during it; the clock is read before the count, so
// what is done on the very reading of the deadline is too late. At 9600 baud the last of 256
// bytes has left at 266.7 ms (the reading 267) and is back at 276.7 ms (the reading 277).
// Only the delay lets user events in; sending and receiving keep the window painted.
TEST(LinkExchange, AWaitEndsOnTheReadingOfItsDeadline) {
  enum Wait { Transmit, Receive, ReceiveNothing, Delay };
  // The wait, its limit, its result, the ms it took.
  const std::tuple<const char*, Wait, std::int32_t, bool, std::int32_t> waits[] = {
      {"queue empties on the deadline", Transmit, 267, false, 267},
      {"queue empties a millisecond before", Transmit, 268, true, 267},
      {"transmit without time", Transmit, 0, false, 0},
      {"last byte back on the deadline", Receive, 277, false, 277},
      {"last byte back a millisecond before", Receive, 278, true, 277},
      {"nothing comes", ReceiveNothing, 300, false, 300},
      {"delay", Delay, 300, false, 300},
      {"negative delay", Delay, -3, false, 0}};
  for (const std::int32_t start : {1000, std::numeric_limits<std::int32_t>::max() - 150, -150}) {
    for (const auto& [name, wait, limitMs, result, waitedMs] : waits) {
      SCOPED_TRACE(testing::Message() << name << ", the clock starting at " << start);
      Loopback loop(start);
      ByteBuffer received(256);
      bool got = false;
      switch (wait) {
        case Transmit:
          got = loop.link.ALDL_XMIT(Block(256), limitMs);
          EXPECT_EQ(loop.comm.OutBufferCount(), limitMs > 0 ? 0 : 256) << "the block is written";
          break;
        case Receive:
          loop.comm.SetOutput(Block(256));
          got = loop.link.ReceiveEcuData(received, 256, limitMs);
          break;
        case ReceiveNothing: got = loop.link.ReceiveEcuData(received, 1, limitMs); break;
        case Delay: loop.link.DelayMs(limitMs); break;
      }
      EXPECT_EQ(got, result);
      EXPECT_EQ(loop.eventPasses, wait == Delay ? waitedMs : 0);
      EXPECT_GE(loop.repaints, wait == Delay ? 0 : waitedMs / 20);
      EXPECT_EQ(Deadline::Since(start, loop.clock.Reading()), static_cast<std::uint32_t>(waitedMs));
    }
  }
}

// Bytes still on their way are discarded as they come, until the line has been quiet for the
// time asked: a block's echo ends at 276.7 ms, so the line is quiet at the reading 327. A line
// that never goes quiet gives up at the limit, reporting so.
TEST(LinkExchange, DiscardUntilQuietWaitsOutALateEcho) {
  const std::tuple<const char*, std::size_t, std::int32_t, bool, std::int32_t> cases[] = {
      {"a quiet line", 0, 1000, true, 50},
      {"a block's late echo", 256, 1000, true, 327},
      {"still talking at the limit", 256, 100, false, 100}};
  for (const auto& [name, bytes, limitMs, quiet, waitedMs] : cases) {
    SCOPED_TRACE(name);
    Loopback loop;
    if (bytes > 0) loop.comm.SetOutput(Block(bytes));
    EXPECT_EQ(loop.link.DiscardUntilQuiet(50, limitMs), quiet);
    EXPECT_EQ(Deadline::Since(1000, loop.clock.Reading()), static_cast<std::uint32_t>(waitedMs));
    if (quiet) {
      EXPECT_EQ(loop.comm.InBufferCount(), 0);
    }
  }
}

}  // namespace
