#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/serial_device.h"
#include "serial/system_roots.h"

// Opens a real serial device (a tty) for exclusive use, in raw mode with no flow control and no
// character translation, without waiting for carrier. Raises CommError(PortUnavailable) with a
// reason a user can act on: missing, permission denied, busy, not a serial device. Only a serial
// line or a pty slave is opened at all (CheckSerialLine).
std::unique_ptr<SerialDevice> OpenTtyDevice(const std::string& path,
                                            const SystemRoots& roots = SystemRoots{});

// A rate a driver puts in for the one asked passes for it within 1% (a PL2303's 8196 or a
// CP2102N's 8191 for 8192); one further off (a CP2102's 9600) is refused, as Windows refuses it.
bool RateTakenAsAsked(std::uint32_t running, std::uint32_t asked);
