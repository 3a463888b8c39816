#include "serial/port_identity.h"

#include <linux/serial.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "serial/linux/tty_kind.h"

namespace fs = std::filesystem;

namespace {

bool Has(const fs::path& dir, const char* attribute) {
  std::error_code error;
  return fs::exists(dir / attribute, error);
}

// The serial-core type number as the 8250 driver names it.
std::string UartTypeName(const std::string& type) {
  static const char* const kNames[PORT_MAX + 1] = {
      "unknown", "8250",    "16450",    "16550", "16550A",   "Cirrus", "ST16650",
      "ST16650V2", "TI16750", "Startech", "16C950", "ST16654", "XR16850", "RSA"};
  try {
    const int number = std::stoi(type);
    if (number >= 0 && number <= PORT_MAX) return kNames[number];
  } catch (const std::logic_error&) {
  }
  return "type " + type;
}

// Above a USB tty sit its interface (bound to the driver) and the USB device (its strings and
// ids); a UART carries its type in its own folder.
void ReadHardware(const fs::path& ttyDir, const fs::path& sysfsRoot, PortIdentity& identity) {
  std::error_code error;
  fs::path at = fs::canonical(ttyDir / "device", error);
  if (error) return;
  const fs::path top = fs::weakly_canonical(sysfsRoot, error);
  fs::path interface;
  for (; at.has_relative_path() && at != top; at = at.parent_path()) {
    if (interface.empty() && Has(at, "bInterfaceNumber")) interface = at;
    if (Has(at, "idVendor")) break;
  }
  if (Has(at, "idVendor")) {
    identity.kind = PortIdentity::Kind::Usb;
    identity.manufacturer = ReadAttribute(at / "manufacturer");
    identity.product = ReadAttribute(at / "product");
    identity.serialNumber = ReadAttribute(at / "serial");
    identity.vendorId = ReadAttribute(at / "idVendor");
    identity.productId = ReadAttribute(at / "idProduct");
    const fs::path driver = fs::read_symlink((interface.empty() ? ttyDir / "device" : interface) / "driver", error);
    if (!error) identity.driver = driver.filename().string();
    // ftdi_sio shows its chip's latency timer on the port.
    identity.latencyTimer = ReadAttribute(ttyDir / "device" / "latency_timer");
  } else if (Has(ttyDir, "type")) {
    identity.kind = PortIdentity::Kind::Uart;
    identity.uartType = UartTypeName(ReadAttribute(ttyDir / "type"));
  } else {
    identity.kind = PortIdentity::Kind::OtherSerial;
  }
}

std::string ById(dev_t device, const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator each(folder, error), end; !error && each != end; each.increment(error)) {
    struct stat info {};
    if (stat(each->path().c_str(), &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device) {
      return each->path().string();
    }
  }
  return "";
}

}  // namespace

PortIdentity IdentifyDevice(const std::string& device, const SystemRoots& roots) {
  PortIdentity identity;
  struct stat info {};
  if (stat(device.c_str(), &info) != 0) {
    identity.kind = errno == ENOENT ? PortIdentity::Kind::Missing : PortIdentity::Kind::Unknown;
    return identity;
  }
  if (!S_ISCHR(info.st_mode)) {
    identity.kind = PortIdentity::Kind::NotSerial;
    return identity;
  }
  const TtyFacts tty = ClassifyCharDevice(info.st_rdev, roots);
  identity.name = tty.name;
  identity.kernelConsole = tty.kernelConsole;
  switch (tty.kind) {
    case TtyKind::SerialLine:
      identity.kind = PortIdentity::Kind::OtherSerial;
      if (!tty.sysfsDir.empty()) ReadHardware(tty.sysfsDir, roots.sysfs, identity);
      break;
    case TtyKind::EmptyUartSlot:
      identity.kind = PortIdentity::Kind::EmptyUartSlot;
      break;
    case TtyKind::PtySlave:
      identity.kind = PortIdentity::Kind::Pty;
      break;
    case TtyKind::Unknown:
      identity.kind = PortIdentity::Kind::Unknown;
      break;
    default:
      identity.kind = PortIdentity::Kind::NotSerial;
      break;
  }
  identity.byId = ById(info.st_rdev, roots.serialById);
  return identity;
}
