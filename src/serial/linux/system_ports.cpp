#include "serial/system_ports.h"

#include <unistd.h>

#include <cerrno>

#include "serial/comm_error.h"
#include "serial/linux/line_holders.h"
#include "serial/linux/open_failure_text.h"
#include "serial/linux/serial_line_check.h"
#include "serial/linux/tty_device.h"

// COM 1-4 are the built-in UARTs, COM 5-12 USB adaptors, COM 13-16 USB modems (CDC ACM).
std::string DefaultDevice(int comPort) {
  if (comPort <= 4) return "/dev/ttyS" + std::to_string(comPort - 1);
  if (comPort <= 12) return "/dev/ttyUSB" + std::to_string(comPort - 5);
  return "/dev/ttyACM" + std::to_string(comPort - 13);
}

namespace {

// "... is busy: another program has it open (minicom, process 1234)": a lock on the line, or a
// live UUCP lock file.
std::optional<std::string> HeldBy(const std::string& device, const SystemRoots& roots) {
  const auto holder = LineHolder(device, roots);
  if (!holder) return std::nullopt;
  return OpenFailureText(device, EWOULDBLOCK, "") + " (" + *holder + ")";
}

}  // namespace

// A line another program has locked is left alone: opening it would move its modem lines and let
// the test's bytes into that program's session.
std::unique_ptr<SerialDevice> OpenSystemDevice(const std::string& device, const SystemRoots& roots) {
  if (const auto held = HeldBy(device, roots)) throw CommError(CommErrorNumber::PortUnavailable, *held);
  return OpenTtyDevice(device, roots);
}

// Opening a tty raises DTR and RTS and closing drops them, which resets a board on another port:
// what the line is comes from sysfs, the permission from access(2), and its holder from the
// kernel's locks and the UUCP lock files. A line another program holds in exclusive mode
// without a lock shows only when the port is opened.
std::optional<std::string> SystemDeviceUnavailability(const std::string& device, const SystemRoots& roots) {
  try {
    CheckSerialLine(device, roots);
  } catch (const CommError& refused) {
    return refused.what();
  }
  if (access(device.c_str(), R_OK | W_OK) != 0) {
    const int error = errno;
    return OpenFailureText(device, error, error == EACCES || error == EPERM ? JoinableGroup(device) : "");
  }
  return HeldBy(device, roots);
}
