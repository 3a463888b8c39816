#include "serial/MSComm.h"

#include <gtest/gtest.h>

#include <tuple>

#include "serial/comm_error.h"
#include "serial/settings_string.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

namespace {

TEST(SettingsString, ReadsRateParityDataAndStopBitsAndRefusesMalformedText) {
  const auto fields = [](const DCB& d) { return std::tuple(d.BaudRate, d.Parity, d.ByteSize, d.StopBits); };
  EXPECT_EQ(fields(ParseSettingsString("9600,n,8,1")), std::tuple(9600u, NOPARITY, 8, ONESTOPBIT));
  EXPECT_EQ(fields(ParseSettingsString("8192,E,7,1.5")), std::tuple(8192u, EVENPARITY, 7, ONE5STOPBITS));
  for (const char* bad : {"", "9600", "9600,n,8", "9600,n,8,1,", "0,n,8,1", "-5,n,8,1", "96x0,n,8,1",
                          "9600,q,8,1", "9600,nn,8,1", "9600,n,9,1", "9600,n,8,3", "9600,n,8,1.0",
                          "99999999999,n,8,1"}) {
    try {
      ParseSettingsString(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const CommError& error) {
      EXPECT_EQ(error.Code(), CommErrorNumber::InvalidPropertyValue) << bad;
    }
  }
}

// A driver that runs 9600 whatever it is asked, and says so when read back.
class NineSixHundredOnly final : public SerialDevice {
 public:
  DCB State() override { return applied; }
  bool Apply(const DCB& settings) override {
    applied = settings;
    applied.BaudRate = 9600;
    return true;
  }
  void SetModemLines(bool, bool) override {}
  int InputCount() override { return 0; }
  int OutputCount() override { return 0; }
  bool WaitForInput(std::int32_t, std::int32_t) override { return false; }
  bool WaitForOutputEmpty(std::int32_t) override { return true; }
  void DiscardInput() override {}
  void DiscardOutput() override {}
  void Write(std::span<const std::uint8_t>) override {}
  ByteBuffer Read(std::size_t) override { return {}; }
  void SetFarewell(std::span<const std::uint8_t>) override {}
  bool Lost() const override { return false; }

  DCB applied{};
};

// Read back within 5% of the rate asked: 9600 is 457.15 from 9143 and 505.25 from 10105.
// A rate of 0 or less never reaches the driver.
TEST(DeviceControlBlock, RefusesARateTheDriverReplacesAndNeverSendsZeroOrLess) {
  NineSixHundredOnly driver;
  DCB record{};
  ASSERT_NE(GetCommState(&driver, record), 0);
  const std::pair<std::int32_t, bool> rates[] = {{8192, false},  {9142, false}, {9143, true},
                                                 {10105, true},  {10106, false}, {0, false},
                                                 {-1, false},    {-8192, false}};
  for (const auto& [rate, accepted] : rates) {
    driver.applied.BaudRate = 0;
    record.BaudRate = static_cast<std::uint32_t>(rate);
    EXPECT_EQ(SetCommState(&driver, record) != 0, accepted) << rate;
    EXPECT_EQ(driver.applied.BaudRate, rate > 0 ? 9600u : 0u) << rate;
  }
}

// Closed, the port raises on every operation but closing; it opens with the settings given.
TEST(SerialControl, RaisesWhileClosedAndOpensWithTheSettingsGiven) {
  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  MSComm comm{ports};
  EXPECT_THROW(comm.InBufferCount(), CommError);
  EXPECT_THROW(comm.SetOutput(ByteBuffer(1)), CommError);
  EXPECT_THROW(comm.Input(), CommError);
  EXPECT_THROW(comm.CommID(), CommError);
  EXPECT_NO_THROW(comm.SetPortOpen(false));
  ports.Assign(2, "sim");
  comm.SetCommPort(2);
  comm.SetSettings("4800,n,8,2");
  comm.SetPortOpen(true);
  DCB record{};
  ASSERT_NE(GetCommState(comm.CommID(), record), 0);
  EXPECT_EQ(std::tuple(record.BaudRate, record.StopBits), std::tuple(4800u, TWOSTOPBITS));
}

}  // namespace
