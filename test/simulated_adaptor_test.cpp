#include "serial/simulated_adaptor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>

#include "serial/comm_error.h"
#include "support/fake_clock.h"

namespace {

// An adaptor on a fake clock with its port open.
struct SimBench {
  explicit SimBench(std::string_view faults, std::int32_t start = 1000)
      : clock(start), adaptor(ParseSimFaults(faults), clock.Source()), device(adaptor.Connect()) {}

  void PowerUp(bool dtr = true, bool rts = true, std::uint32_t rate = 8192) {
    DCB settings = device->State();
    settings.BaudRate = rate;
    ASSERT_TRUE(device->Apply(settings));
    device->SetModemLines(dtr, rts);
  }

  FakeClock clock;
  SimulatedAdaptor adaptor;
  std::unique_ptr<SerialDevice> device;
};

ByteBuffer Counting(std::size_t count) {
  ByteBuffer bytes(count);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  return bytes;
}

template <typename Operation>
std::optional<CommErrorNumber> ErrorOf(Operation operation) {
  try {
    operation();
  } catch (const CommError& error) {
    return error.Code();
  }
  return std::nullopt;
}

TEST(SimTiming, BlockLeavesAtTheLineRateAndComesBackTenMsBehindAcrossClockWraps) {
  for (const std::int32_t start : {1000, std::numeric_limits<std::int32_t>::max() - 150, -150}) {
    SCOPED_TRACE(start);
    SimBench bench("", start);
    bench.PowerUp();
    const ByteBuffer block = Counting(256);
    bench.device->Write(block);
    EXPECT_EQ(bench.device->OutputCount(), 256);
    bench.clock.Advance(100);  // 81 characters of 1.22 ms have left, 73 of them are back
    EXPECT_EQ(bench.device->OutputCount(), 256 - 81);
    EXPECT_EQ(bench.device->InputCount(), 73);
    bench.clock.Advance(212);
    EXPECT_EQ(bench.device->OutputCount(), 1);
    bench.clock.Advance(1);
    EXPECT_EQ(bench.device->OutputCount(), 0);
    bench.clock.Advance(9);
    EXPECT_EQ(bench.device->InputCount(), 255);
    bench.clock.Advance(1);
    EXPECT_EQ(bench.device->Read(300), block);
    EXPECT_EQ(bench.device->InputCount(), 0);
  }
}

TEST(SimTiming, LineRunsAtTheRateFaultWhateverIsAppliedAndBlocksQueueBehindEachOther) {
  for (const auto& [faults, applied] : {std::pair{"rate=7500", 8192u}, {"", 7500u}}) {
    SCOPED_TRACE(faults);
    SimBench bench(faults);
    bench.PowerUp(true, true, applied);
    EXPECT_EQ(bench.device->State().BaudRate, applied);
    bench.device->Write(Counting(15));
    bench.clock.Advance(5);
    bench.device->Write(Counting(15));  // 30 characters at 7500 end at 40 ms (36.6 ms at 8192)
    bench.clock.Advance(34);
    EXPECT_EQ(bench.device->OutputCount(), 1);
    bench.clock.Advance(2);
    EXPECT_EQ(bench.device->OutputCount(), 0);
  }
}

TEST(SimPower, EchoNeedsALineThatPowersTheAdaptor) {
  struct Case {
    std::string_view faults;
    bool dtr;
    bool rts;
    bool echoes;
  };
  const Case cases[] = {{"", false, false, false},      {"", true, false, true},
                        {"", false, true, true},        {"no-dtr", true, false, false},
                        {"no-dtr", false, true, true},  {"no-rts", false, true, false},
                        {"no-rts", true, false, true},  {"dead", true, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.faults) + (c.dtr ? " DTR" : "") + (c.rts ? " RTS" : ""));
    SimBench bench(c.faults);
    bench.PowerUp(c.dtr, c.rts);
    bench.device->Write(Counting(4));
    bench.clock.Advance(20);
    EXPECT_EQ(bench.device->InputCount(), c.echoes ? 4 : 0);
  }
}

TEST(SimPower, DroppingTheLinesLosesOnlyTheBytesStillInFlight) {
  SimBench bench("");
  bench.PowerUp();
  bench.device->Write(Counting(1));
  bench.clock.Advance(12);
  bench.device->Write(Counting(1));
  bench.clock.Advance(5);
  bench.device->SetModemLines(false, false);
  bench.clock.Advance(20);
  EXPECT_EQ(bench.device->InputCount(), 1);
}

TEST(SimNoise, AltersExactlyTheLastByteOfEachBlock) {
  SimBench bench("noise");
  bench.PowerUp();
  bench.device->Write(ByteBuffer{1, 2, 3});
  bench.device->Write(ByteBuffer{4, 5, 6});
  bench.clock.Advance(20);
  const ByteBuffer echo = bench.device->Read(10);
  ASSERT_EQ(echo.size(), 6u);
  EXPECT_EQ((ByteBuffer{echo[0], echo[1], echo[3], echo[4]}), (ByteBuffer{1, 2, 4, 5}));
  EXPECT_NE(echo[2], 3);
  EXPECT_NE(echo[5], 6);
}

TEST(SimSettings, RefusesWhatTheChipCannotTakeAndKeepsTheOldSettings) {
  SimBench bench("std-rates");
  DCB settings = bench.device->State();
  EXPECT_EQ(settings.DCBlength, kDcbLength);
  EXPECT_EQ(settings.BaudRate, 9600u);
  for (const std::uint32_t rate : {0u, 8192u, 2147483648u}) {
    settings.BaudRate = rate;
    EXPECT_FALSE(bench.device->Apply(settings)) << rate;
  }
  settings.BaudRate = 4800;
  for (const std::uint8_t size : {4, 9}) {
    settings.ByteSize = size;
    EXPECT_FALSE(bench.device->Apply(settings)) << int{size};
  }
  EXPECT_EQ(bench.device->State().BaudRate, 9600u);
  settings.ByteSize = 7;
  settings.Parity = EVENPARITY;
  settings.StopBits = TWOSTOPBITS;
  ASSERT_TRUE(bench.device->Apply(settings));
  const DCB applied = bench.device->State();
  EXPECT_EQ(applied.BaudRate, 4800u);
  EXPECT_EQ(applied.ByteSize, 7);
  EXPECT_EQ(applied.Parity, EVENPARITY);
  EXPECT_EQ(applied.StopBits, TWOSTOPBITS);
}

TEST(SimDiscard, DropsQueuedBytesButNotThoseInFlight) {
  SimBench bench("");
  bench.PowerUp();
  bench.device->Write(Counting(100));
  bench.clock.Advance(20);  // 16 have left, 8 of them are back
  bench.device->DiscardInput();
  bench.device->DiscardOutput();
  EXPECT_EQ(bench.device->InputCount(), 0);
  EXPECT_EQ(bench.device->OutputCount(), 0);
  bench.clock.Advance(10);
  EXPECT_EQ(bench.device->InputCount(), 8);
  bench.device->Write(Counting(1));  // the line is free: it leaves at once
  bench.clock.Advance(12);
  EXPECT_EQ(bench.device->InputCount(), 9);
}

TEST(SimConnect, OneConnectionAtATimeAndClosingDropsQueuesAndPower) {
  SimBench bench("");
  bench.PowerUp();
  bench.device->Write(Counting(50));
  bench.clock.Advance(30);
  ASSERT_GT(bench.device->InputCount(), 0);
  ASSERT_GT(bench.device->OutputCount(), 0);
  EXPECT_EQ(ErrorOf([&] { bench.adaptor.Connect(); }), CommErrorNumber::PortUnavailable);
  bench.device.reset();
  const auto again = bench.adaptor.Connect();
  EXPECT_EQ(again->InputCount(), 0);
  EXPECT_EQ(again->OutputCount(), 0);
  EXPECT_EQ(again->State().BaudRate, 9600u);
  again->Write(Counting(1));
  bench.clock.Advance(20);
  EXPECT_EQ(again->InputCount(), 0);
}

TEST(SimConnect, ConnectionOutlivesTheAdaptor) {
  FakeClock clock;
  auto adaptor = std::make_unique<SimulatedAdaptor>(SimFaults{}, clock.Source());
  const auto device = adaptor->Connect();
  adaptor.reset();
  device->SetModemLines(true, false);
  device->Write(Counting(1));
  clock.Advance(12);
  EXPECT_EQ(device->InputCount(), 1);
}

TEST(SimUnplug, OperationsFailFromItsTimeAndThePortIsGoneForGood) {
  SimBench bench("unplug=300");
  bench.PowerUp();
  bench.clock.Advance(299);
  EXPECT_EQ(bench.device->InputCount(), 0);
  bench.clock.Advance(1);
  EXPECT_EQ(ErrorOf([&] { bench.device->InputCount(); }), CommErrorNumber::DeviceFailure);
  EXPECT_EQ(ErrorOf([&] { bench.device->Write(Counting(1)); }), CommErrorNumber::DeviceFailure);
  bench.device.reset();
  EXPECT_EQ(ErrorOf([&] { bench.adaptor.Connect(); }), CommErrorNumber::PortUnavailable);
}

TEST(SimParse, ReadsEveryFault) {
  const SimFaults faults =
      ParseSimFaults(" dead,no-dtr , no-rts,noise,std-rates,rate=8601.5,unplug=300");
  EXPECT_TRUE(faults.dead && faults.noDtr && faults.noRts && faults.noise && faults.stdRates);
  EXPECT_EQ(faults.lineRate, 8601.5);
  EXPECT_EQ(faults.unplugAfterMs, 300);
  const SimFaults none = ParseSimFaults("");
  EXPECT_FALSE(none.dead || none.noDtr || none.noRts || none.noise || none.stdRates);
  EXPECT_FALSE(none.lineRate || none.unplugAfterMs);
}

TEST(SimParse, NamesTheBadItemAndTheKnownFaults) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"noise,deaf", "deaf"},   {"rate", "rate"},         {"rate=0", "rate=0"},
      {"rate=fast", "rate=fast"}, {"unplug=-1", "unplug=-1"}, {"unplug=1.5", "unplug=1.5"},
      {"dead=1", "dead=1"}};
  for (const auto& [text, item] : cases) {
    SCOPED_TRACE(text);
    try {
      ParseSimFaults(text);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("\"" + std::string(item) + "\""), std::string::npos) << message;
      EXPECT_NE(message.find("std-rates"), std::string::npos) << message;
    }
  }
}

}  // namespace
