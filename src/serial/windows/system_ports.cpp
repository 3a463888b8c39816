#include "serial/system_ports.h"

#include "serial/windows/com_device.h"

// COM n is Windows' own COMn.
std::string DefaultDevice(int comPort) { return "COM" + std::to_string(comPort); }

std::unique_ptr<SerialDevice> OpenSystemDevice(const std::string& device, const SystemRoots& /*roots*/) {
  return OpenComDevice(device);
}
