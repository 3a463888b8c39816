#include "serial/clsComSetup.h"

#include <gtest/gtest.h>

#include <tuple>

#include "serial/MSComm.h"
#include "serial/port_context.h"
#include "serial/port_selection.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

namespace {

class PortObjectTest : public ::testing::Test {
 protected:
  // Rate, data bits, parity and stop bits in force.
  std::tuple<std::uint32_t, int, int, int> Line() {
    DCB record{};
    GetCommState(port.MSComm1.CommID(), record);
    return {record.BaudRate, record.ByteSize, record.Parity, record.StopBits};
  }

  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  int eventPasses = 0;
  PortContext port{ports, [this] { ++eventPasses; }};
  clsComSetup& setup = port.ComSetup();
};

TEST_F(PortObjectTest, FindAvailPortsClosesThePortAndListsEveryPortInOrder) {
  ports.Assign(2, "sim:dead");
  ports.Assign(3, "sim");
  ASSERT_EQ(setup.OpenComPort(3), 0);
  EXPECT_EQ(setup.FindAvailPorts(), "FALSE,TRUE,TRUE,FALSE");
  EXPECT_FALSE(port.MSComm1.PortOpen());
  EXPECT_EQ(port.MSComm1.CommPort(), 4);

  setup.SetMaxComPorts(16);
  ports.Assign(2, "/nonexistent-aldl-test/again");
  ports.Assign(3, "/nonexistent-aldl-test/again");
  std::string none = "FALSE";
  for (int i = 1; i < 16; ++i) none += ",FALSE";
  EXPECT_EQ(setup.FindAvailPorts(), none);
  setup.SetMaxComPorts(0);
  EXPECT_EQ(setup.FindAvailPorts(), "");
}

TEST_F(PortObjectTest, OpenComPortConfiguresTheLineForTheAdaptor) {
  EXPECT_EQ(setup.MaxComPorts(), 4);
  EXPECT_EQ(setup.BaudSetting(), 9600);
  ports.Assign(4, "sim");
  EXPECT_EQ(setup.OpenComPort(4), 0);
  EXPECT_TRUE(port.MSComm1.PortOpen());
  EXPECT_TRUE(port.MSComm1.DTREnable());
  EXPECT_TRUE(port.MSComm1.RTSEnable());
  EXPECT_EQ(setup.BaudSetting(), 8192);
  EXPECT_EQ(Line(), std::tuple(8192u, 8, NOPARITY, ONESTOPBIT));
  EXPECT_EQ(eventPasses, 1);
}

TEST_F(PortObjectTest, OpenComPortResultCodes) {
  ports.Assign(2, "sim");
  setup.SetMaxComPorts(16);
  ASSERT_EQ(setup.OpenComPort(2), 0);
  EXPECT_EQ(setup.OpenComPort(17), -1);
  EXPECT_EQ(setup.OpenComPort(-1), -1);
  EXPECT_EQ(setup.ErrCode(), -1);
  EXPECT_TRUE(port.MSComm1.PortOpen());

  EXPECT_EQ(setup.OpenComPort(0), 0);
  EXPECT_FALSE(port.MSComm1.PortOpen());
  EXPECT_EQ(setup.OpenComPort(5), -2);
  EXPECT_EQ(setup.ErrCode(), -2);
  EXPECT_FALSE(port.MSComm1.PortOpen());
  setup.SetErrCode(123);
  EXPECT_EQ(setup.ErrCode(), 0);
}

TEST_F(PortObjectTest, SetBaudThroughTheDeviceControlBlock) {
  ports.Assign(1, "sim:std-rates");
  ASSERT_EQ(setup.OpenComPort(1), 0);
  EXPECT_EQ(setup.BaudSetting(), 0);  // 8192 is not a standard rate
  EXPECT_TRUE(setup.SetBaud(19200));
  EXPECT_EQ(setup.BaudSetting(), 19200);
  EXPECT_FALSE(setup.SetBaud(8192));
  EXPECT_EQ(setup.BaudSetting(), 0);
  EXPECT_EQ(std::get<0>(Line()), 19200u);

  port.ReleaseComSetup();
  EXPECT_FALSE(port.MSComm1.PortOpen()) << "releasing the object closes the port";
}

// The lines are changed only while the port is closed: a device gone with the cable cannot
// refuse them, so the states asked for are kept for the next open.
TEST_F(PortObjectTest, SetLinePowerChangesTheLinesWhileThePortIsClosed) {
  ports.Assign(1, "sim:unplug=50");
  ASSERT_EQ(setup.OpenComPort(1), 0);
  port.state.PortReady = true;
  clock.Advance(60);
  SetLinePower(port, false, true);
  EXPECT_FALSE(port.MSComm1.DTREnable());
  EXPECT_TRUE(port.MSComm1.RTSEnable());
  EXPECT_FALSE(port.MSComm1.PortOpen());
}

TEST_F(PortObjectTest, SavedPortThatProbedButWillNotOpen) {
  setup.SetMaxComPorts(16);
  const PortRestoreOutcome outcome = RestoreSavedPort(port, "2", std::vector<bool>(16, true));
  EXPECT_EQ(outcome.view.comStatus, "Err Opening COM port");
  EXPECT_EQ(outcome.view.baudValue, "Not Set");
  EXPECT_EQ(outcome.view.checkedEntry, 0);
  EXPECT_FALSE(outcome.previousPortGone);
  EXPECT_FALSE(port.state.PortReady);
}

}  // namespace
