#include "serial/simulated_adaptor.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>

#include "serial/comm_error.h"
#include "support/fake_clock.h"

namespace {

DCB Line(std::uint32_t rate) { return DCB{kDcbLength, rate, 8, NOPARITY, ONESTOPBIT}; }

// An adaptor on a fake clock with its port open.
struct SimBench {
  explicit SimBench(std::string_view faults, std::int32_t start = 1000)
      : clock(start), adaptor(ParseSimFaults(faults), clock.Source()), device(adaptor.Connect()) {}

  void PowerUp(bool dtr = true, bool rts = true, std::uint32_t rate = 8192) {
    ASSERT_TRUE(device->Apply(Line(rate)));
    device->SetModemLines(dtr, rts);
  }

  // Moves the clock on a millisecond at a time until the condition holds, for 10 s at most;
  // returns the ms gone by since the bench was made.
  int Until(const std::function<bool()>& condition) {
    for (int ms = 0; ms < 10'000 && !condition(); ++ms) clock.Advance(1);
    return static_cast<int>(static_cast<std::uint32_t>(clock.Reading()) - origin);
  }

  FakeClock clock;
  SimulatedAdaptor adaptor;
  std::unique_ptr<SerialDevice> device;
  const std::uint32_t origin = static_cast<std::uint32_t>(clock.Reading());
};

std::optional<CommErrorNumber> ErrorOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const CommError& error) {
    return error.Code();
  }
  return std::nullopt;
}

// A 256-byte block at 8192 baud takes 312.5 ms to leave, written in two parts, the second queued
// behind the first; each byte is back 10 ms after it left. Two of the clocks wrap 150 ms into
// the block. rate=N runs the line at N whatever is applied.
TEST(SimTiming, BlockLeavesAtTheLineRateAndComesBackIntactTenMsBehind) {
  constexpr std::int32_t kWrap = INT32_MAX - 150;
  // The ms until the first byte is back, half the block has left, all of it, all of it is back.
  constexpr std::array<int, 4> k8192{12, 157, 313, 323}, k7500{12, 171, 342, 352};
  // Faults, rate applied, clock start, times.
  const std::tuple<const char*, std::uint32_t, std::int32_t, std::array<int, 4>> cases[] = {
      {"", 8192, 1000, k8192}, {"", 8192, kWrap, k8192},         {"", 8192, -150, k8192},
      {"", 7500, 1000, k7500}, {"rate=7500", 8192, 1000, k7500}, {"rate=7500", 8192, kWrap, k7500}};
  for (const auto& [faults, rate, start, times] : cases) {
    SCOPED_TRACE(testing::Message() << faults << " at " << rate << " from " << start);
    SimBench bench(faults, start);
    bench.PowerUp(true, true, rate);
    ByteBuffer block(256);
    std::iota(block.begin(), block.end(), std::uint8_t{0});
    bench.device->Write(ByteBuffer(block.begin(), block.begin() + 100));
    bench.device->Write(ByteBuffer(block.begin() + 100, block.end()));
    EXPECT_EQ(bench.Until([&] { return bench.device->InputCount() > 0; }), times[0]);
    EXPECT_EQ(bench.Until([&] { return bench.device->OutputCount() <= 128; }), times[1]);
    EXPECT_EQ(bench.Until([&] { return bench.device->OutputCount() == 0; }), times[2]);
    EXPECT_EQ(bench.Until([&] { return bench.device->InputCount() == 256; }), times[3]);
    EXPECT_EQ(bench.device->State().BaudRate, rate);
    EXPECT_EQ(bench.device->Read(300), block);
  }
}

// DTR or RTS powers the adaptor unless no-dtr or no-rts takes that line away; dead echoes
// nothing; noise alters exactly the last byte of each block written.
TEST(SimEcho, NeedsPowerAndIsIntactButForTheFaults) {
  const std::tuple<std::string_view, bool, bool, bool> cases[] = {
      {"", false, false, false},      {"", true, false, true},       {"", false, true, true},
      {"no-dtr", true, false, false}, {"no-dtr", false, true, true}, {"no-rts", false, true, false},
      {"no-rts", true, false, true},  {"dead", true, true, false},   {"noise", true, true, true}};
  for (const auto& [faults, dtr, rts, echoes] : cases) {
    SCOPED_TRACE(testing::Message() << faults << " DTR " << dtr << " RTS " << rts);
    SimBench bench(faults);
    bench.PowerUp(dtr, rts);
    bench.device->Write(ByteBuffer{1, 2, 3});
    bench.device->Write(ByteBuffer{4, 5, 6});
    bench.clock.Advance(20);
    const ByteBuffer echo = bench.device->Read(10);
    ASSERT_EQ(echo.size(), echoes ? 6u : 0u);
    for (std::size_t i = 0; i < echo.size(); ++i) {
      EXPECT_EQ(echo[i] != i + 1, faults == "noise" && i % 3 == 2) << i;
    }
  }
}

// Closing empties the queues; the unplug time counts from the first open.
TEST(SimConnect, OneConnectionAtATimeUntilUnpluggedForGood) {
  SimBench bench("unplug=300");
  bench.PowerUp();
  bench.device->Write(ByteBuffer(50));
  bench.clock.Advance(30);
  ASSERT_TRUE(bench.device->InputCount() > 0 && bench.device->OutputCount() > 0);
  EXPECT_EQ(ErrorOf([&] { bench.adaptor.Connect(); }), CommErrorNumber::PortUnavailable);
  bench.device.reset();
  bench.device = bench.adaptor.Connect();
  EXPECT_EQ(bench.device->InputCount(), 0);
  EXPECT_EQ(bench.device->OutputCount(), 0);
  EXPECT_EQ(bench.Until([&] { return ErrorOf([&] { bench.device->InputCount(); }).has_value(); }),
            300);
  EXPECT_EQ(ErrorOf([&] { bench.device->InputCount(); }), CommErrorNumber::DeviceFailure);
  EXPECT_EQ(ErrorOf([&] { bench.device->Write(ByteBuffer(1)); }), CommErrorNumber::DeviceFailure);
  bench.device.reset();
  EXPECT_EQ(ErrorOf([&] { bench.adaptor.Connect(); }), CommErrorNumber::PortUnavailable);
}

TEST(SimParse, AnUnknownFaultOrBadValueIsRefusedByName) {
  for (const std::string item : {"deaf", "rate=0", "rate=fast", "unplug=-1", "dead=1"}) {
    try {
      ParseSimFaults("noise," + item);
      ADD_FAILURE() << item << " accepted";
    } catch (const std::invalid_argument& bad) {
      EXPECT_NE(std::string(bad.what()).find('"' + item + '"'), std::string::npos) << bad.what();
    }
  }
}

}  // namespace
