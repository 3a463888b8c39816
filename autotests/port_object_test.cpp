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
  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  PortContext port{ports, [] {}};
  clsComSetup& setup = port.ComSetup();
};

TEST_F(PortObjectTest, FindAvailPortsClosesThePortAndListsEveryPortInOrder) {
  ports.Assign(2, "sim:dead");
  ports.Assign(3, "sim");
  ASSERT_EQ(setup.OpenComPort(3), 0);
  EXPECT_EQ(setup.FindAvailPorts(), "FALSE,TRUE,TRUE,FALSE");
  EXPECT_FALSE(port.MSComm1.PortOpen());
  setup.SetMaxComPorts(0);
  EXPECT_EQ(setup.FindAvailPorts(), "");
}

// Ports 1 to MaxComPorts open at 8192 baud, 8 data bits, no parity, one stop bit, with both
// lines up; a number out of range leaves the open port alone.
TEST_F(PortObjectTest, OpenComPortConfiguresTheLineForTheAdaptor) {
  EXPECT_EQ(setup.MaxComPorts(), 4);
  EXPECT_EQ(setup.BaudSetting(), 9600);
  ports.Assign(4, "sim");
  EXPECT_EQ(setup.OpenComPort(4), 0);
  EXPECT_EQ(setup.OpenComPort(5), -1);
  EXPECT_EQ(setup.OpenComPort(-1), -1);
  ASSERT_TRUE(port.MSComm1.PortOpen());
  EXPECT_TRUE(port.MSComm1.DTREnable());
  EXPECT_TRUE(port.MSComm1.RTSEnable());
  EXPECT_EQ(setup.BaudSetting(), 8192);
  DCB line{};
  GetCommState(port.MSComm1.CommID(), line);
  EXPECT_EQ(std::tuple(line.BaudRate, line.ByteSize, line.Parity, line.StopBits),
            std::tuple(8192u, 8, NOPARITY, ONESTOPBIT));
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
  const PortRestoreOutcome outcome = RestoreSavedPort(port, "2", std::vector<bool>(4, true));
  EXPECT_EQ(outcome.view.comStatus, "Err Opening COM port");
  EXPECT_EQ(outcome.view.baudValue, "Not Set");
  EXPECT_FALSE(port.state.PortReady);
}

}  // namespace
