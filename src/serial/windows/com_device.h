#pragma once

#include <memory>
#include <string>

#include "serial/serial_device.h"

// Opens a COM port ("COM3", or a device path such as "\\.\COM23") for this program alone, in
// binary mode with no flow control and no character translation. Raises
// CommError(PortUnavailable) with a reason a user can act on: does not exist, busy, no device
// behind it, not a serial device.
std::unique_ptr<SerialDevice> OpenComDevice(const std::string& port);
