#include "serial/system_ports.h"

#include "serial/linux/tty_device.h"

// COM 1-4 are the built-in UARTs, COM 5-12 USB adaptors, COM 13-16 USB modems (CDC ACM).
std::string DefaultDevice(int comPort) {
  if (comPort <= 4) return "/dev/ttyS" + std::to_string(comPort - 1);
  if (comPort <= 12) return "/dev/ttyUSB" + std::to_string(comPort - 5);
  return "/dev/ttyACM" + std::to_string(comPort - 13);
}

std::unique_ptr<SerialDevice> OpenSystemDevice(const std::string& device, const SystemRoots& roots) {
  return OpenTtyDevice(device, roots);
}
