// Which port is which adaptor, read from a sysfs tree of the test's own, and the start-up probe
// that opens only what has hardware behind it.

#include <gtest/gtest.h>

#include <memory>

#include "serial/port_context.h"
#include "serial/port_identity.h"
#include "serial/port_map.h"
#include "serial/port_selection.h"
#include "support/fake_sysfs.h"
#include "support/open_watch.h"
#include "support/pty_pair.h"

namespace {

// Each device node is a pty the test holds; the fake tree says what kernel device it is.
struct Discovery : testing::Test {
  Discovery() {
    tree.AddUsbAdaptor(ftdi.SlavePath(), 1,
                       {"ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3", "ftdi_sio", "ftdi_sio"});
    tree.AddUsbAdaptor(ch340.SlavePath(), 2,
                       {"ttyUSB1", "1a86", "7523", "", "USB2.0-Serial", "", "ch341", "ch341-uart"});
    tree.AddUsbAdaptor(cp2102.SlavePath(), 3,
                       {"ttyUSB2", "10c4", "ea60", "Silicon Labs",
                        "CP2102 USB to UART Bridge Controller", "0001", "cp210x", "cp210x"});
    tree.AddUart(consoleUart.SlavePath(), "ttyS0", 4);
    tree.AddUart(emptySlot.SlavePath(), "ttyS1", 0);
    tree.SetConsole("tty0 ttyS0");
    tree.AddById("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", ftdi.SlavePath());
    for (int n = 1; n <= PortMap::kComPorts; ++n) {
      ports.Assign(n, (tree.Root() / ("missing-com" + std::to_string(n))).string());
    }
    ports.Assign(1, consoleUart.SlavePath());
    ports.Assign(2, emptySlot.SlavePath());
    ports.Assign(5, ftdi.SlavePath());
    ports.Assign(6, ch340.SlavePath());
    ports.Assign(7, cp2102.SlavePath());
    ports.Assign(9, pty.SlavePath());
    ports.Assign(10, "sim");
  }

  PtyPair ftdi, ch340, cp2102, consoleUart, emptySlot, pty;
  FakeSysfs tree;
  PortMap ports{[] { return 0; }, tree.Roots()};
};

TEST_F(Discovery, EachPortSaysWhatItIs) {
  const std::string byId = (tree.Root() / "by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0").string();
  const std::string ptyName = "pts/" + pty.SlavePath().substr(pty.SlavePath().rfind('/') + 1);
  struct Expected {
    int comPort;
    PortIdentity::Kind kind;
    std::string driver, by, description;
  };
  const Expected expected[] = {
      {1, PortIdentity::Kind::Uart, "", "", "built-in UART 16550A, the kernel's console"},
      {2, PortIdentity::Kind::EmptyUartSlot, "", "", "serial port slot with no UART"},
      {3, PortIdentity::Kind::Missing, "", "", "no such device"},
      {5, PortIdentity::Kind::Usb, "ftdi_sio", byId,
       "FTDI FT232R USB UART (USB 0403:6001, ftdi_sio, serial A1B2C3)"},
      // The interface's driver names the module, not the usb-serial port driver "ch341-uart".
      {6, PortIdentity::Kind::Usb, "ch341", "", "USB2.0-Serial (USB 1a86:7523, ch341)"},
      {7, PortIdentity::Kind::Usb, "cp210x", "",
       "Silicon Labs CP2102 USB to UART Bridge Controller (USB 10c4:ea60, cp210x, serial 0001)"},
      {9, PortIdentity::Kind::Pty, "", "", "pseudo-terminal " + ptyName},
      {10, PortIdentity::Kind::Simulated, "", "", "simulated adaptor"}};
  for (const Expected& port : expected) {
    SCOPED_TRACE("COM " + std::to_string(port.comPort));
    const PortIdentity identity = ports.Identity(port.comPort);
    EXPECT_EQ(identity.kind, port.kind);
    EXPECT_EQ(identity.driver, port.driver);
    EXPECT_EQ(identity.byId, port.by);
    EXPECT_EQ(DescribeIdentity(identity), port.description);
  }
}

// The probe finds the three adaptors and the pty; neither the empty slot nor the console is
// opened, while the watch does see the opens of a port that is probed.
TEST_F(Discovery, ProbeOpensOnlyPortsWithHardwareBehindThem) {
  OpenWatch notOpened, opened;
  notOpened.Watch(emptySlot.SlavePath());
  notOpened.Watch(consoleUart.SlavePath());
  opened.Watch(ftdi.SlavePath());
  PortContext port(ports, [] {});
  std::vector<bool> expected(16, false);
  for (int comPort : {5, 6, 7, 9, 10}) expected[comPort - 1] = true;
  EXPECT_EQ(ProbeComPorts(port), expected);
  EXPECT_EQ(ports.Unavailability(1),
            consoleUart.SlavePath() + " is the kernel's console (ttyS0): the tester leaves the "
                                      "line the kernel writes its messages to alone");
  EXPECT_EQ(ports.Unavailability(2), emptySlot.SlavePath() + " is a serial port slot with no UART behind it");
  EXPECT_EQ(notOpened.Opens(), 0);
  EXPECT_GT(opened.Opens(), 0);
}

}  // namespace
