#include "serial/system_ports.h"

#include "serial/comm_error.h"
#include "serial/windows/com_device.h"

// COM n is Windows' own COMn.
std::string DefaultDevice(int comPort) { return "COM" + std::to_string(comPort); }

std::unique_ptr<SerialDevice> OpenSystemDevice(const std::string& device, const SystemRoots& /*roots*/) {
  return OpenComDevice(device);
}

// Windows tells a port in use only by opening it; it has no lock table to read.
std::optional<std::string> SystemDeviceUnavailability(const std::string& device, const SystemRoots& /*roots*/) {
  try {
    OpenComDevice(device);
    return std::nullopt;
  } catch (const CommError& refused) {
    return refused.what();
  }
}
