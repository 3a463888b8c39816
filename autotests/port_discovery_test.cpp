// Which port is which adaptor, read from a sysfs tree of the test's own, and the start-up probe
// that opens nothing and tells busy lines by their locks.

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <tuple>

#include "serial/port_context.h"
#include "serial/port_identity.h"
#include "serial/port_map.h"
#include "serial/port_selection.h"
#include "support/fake_sysfs.h"
#include "support/open_watch.h"
#include "support/pty_pair.h"

namespace {

// Each device node is a pty the test holds; the fake tree says what kernel device it is. The
// ports after the table's are missing.
TEST(PortDiscovery, EachPortSaysWhatItIsAndTheProbeOpensNoneAndFindsTheBusyOnes) {
  PtyPair consoleUart, emptySlot, ftdi, ch340, cp2102, pty, flocked, uucpLocked;
  FakeSysfs tree;
  tree.AddUart(consoleUart.SlavePath(), "ttyS0", 4);
  tree.AddUart(emptySlot.SlavePath(), "ttyS1", 0);
  tree.SetConsole("tty0 ttyS0");
  tree.AddUsbAdaptor(ftdi.SlavePath(), "ttyUSB0", "ftdi_sio", "ftdi_sio",
                     {{"idVendor", "0403"}, {"idProduct", "6001"}, {"manufacturer", "FTDI"},
                      {"product", "FT232R USB UART"}, {"serial", "A1B2C3"}});
  tree.AddUsbAdaptor(ch340.SlavePath(), "ttyUSB1", "ch341", "ch341-uart",
                     {{"idVendor", "1a86"}, {"idProduct", "7523"}, {"product", "USB2.0-Serial"}});
  tree.AddUsbAdaptor(cp2102.SlavePath(), "ttyUSB2", "cp210x", "cp210x",
                     {{"idVendor", "10c4"}, {"idProduct", "ea60"}, {"manufacturer", "Silicon Labs"},
                      {"product", "CP2102 USB to UART Bridge Controller"}, {"serial", "0001"}});
  const std::string byId = tree.AddById("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", ftdi.SlavePath());
  const std::string missing = (tree.Root() / "ttyGone").string();
  // Each port's device, its kind by the name the runner's port list gives it, what it is, and
  // whether the probe finds it.
  const std::tuple<std::string, std::string, std::string, bool> expected[] = {
      {consoleUart.SlavePath(), "uart", "built-in UART 16550A, the kernel's console", false},
      {emptySlot.SlavePath(), "empty-uart-slot", "serial port slot with no UART", false},
      {missing, "missing", "no such device", false},
      {ftdi.SlavePath(), "usb", "FTDI FT232R USB UART (USB 0403:6001, ftdi_sio, serial A1B2C3)", true},
      // The interface's driver names the module, not the usb-serial port driver "ch341-uart".
      {ch340.SlavePath(), "usb", "USB2.0-Serial (USB 1a86:7523, ch341)", true},
      {cp2102.SlavePath(), "usb",
       "Silicon Labs CP2102 USB to UART Bridge Controller (USB 10c4:ea60, cp210x, serial 0001)", true},
      // SlavePath() is /dev/pts/N.
      {pty.SlavePath(), "pty", "pseudo-terminal " + pty.SlavePath().substr(5), true},
      {"sim", "simulated", "simulated adaptor", true},
      {flocked.SlavePath(), "pty", "pseudo-terminal " + flocked.SlavePath().substr(5), false},
      {uucpLocked.SlavePath(), "pty", "pseudo-terminal " + uucpLocked.SlavePath().substr(5), false}};
  // A lock on the node (the kernel's table of locks is the machine's), and minicom's lock file
  // naming a live process; here both are the test's own.
  flocked.Lock();
  std::filesystem::create_directories(tree.Roots().procfs);
  std::filesystem::create_symlink("/proc/locks", tree.Roots().procfs / "locks");
  std::filesystem::create_directories(tree.Roots().uucpLocks);
  std::ofstream(tree.Roots().uucpLocks / ("LCK..pts_" + uucpLocked.SlavePath().substr(9))) << "      " << getpid() << "\n";
  const std::string self = "(process " + std::to_string(getpid()) + ")";
  PortMap ports([] { return 0; }, tree.Roots());
  std::vector<bool> opens(PortMap::kComPorts, false);
  for (int n = 1; n <= PortMap::kComPorts; ++n) ports.Assign(n, missing);
  for (int n = 1; const auto& [device, kind, description, available] : expected) {
    SCOPED_TRACE(description);
    ports.Assign(n, device);
    const PortIdentity identity = ports.Identity(n);
    EXPECT_EQ(std::pair(KindName(identity.kind), DescribeIdentity(identity)), std::pair(kind, description));
    EXPECT_EQ(identity.byId, device == ftdi.SlavePath() ? byId : "");
    opens[n - 1] = available;
    ++n;
  }
  const OpenWatch neverOpened{consoleUart.SlavePath(), emptySlot.SlavePath(), ftdi.SlavePath(),
                              ch340.SlavePath(), cp2102.SlavePath(),     pty.SlavePath(),
                              flocked.SlavePath(),     uucpLocked.SlavePath()};
  PortContext port(ports, [] {});
  EXPECT_EQ(ProbeComPorts(port), opens);
  EXPECT_FALSE(neverOpened.Opened());
  EXPECT_EQ(ports.Unavailability(2), emptySlot.SlavePath() + " is a serial port slot with no UART behind it");
  EXPECT_EQ(ports.Unavailability(9), flocked.SlavePath() + " is busy: another program has it open " + self);
  EXPECT_EQ(ports.Unavailability(10), uucpLocked.SlavePath() + " is busy: another program has it open " + self);
}

}  // namespace
