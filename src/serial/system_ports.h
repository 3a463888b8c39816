#pragma once

#include <memory>
#include <optional>
#include <string>

#include "serial/serial_device.h"
#include "serial/system_roots.h"

// What each operating system gives the port map; src/serial/linux and src/serial/windows each
// implement it, and the build picks one.

// The device a COM number stands for unless ALDL_COM<n> names another.
std::string DefaultDevice(int comPort);

// Why a device of the system cannot be opened, or nothing when it can; found without opening
// it where the system allows, since opening a line moves its modem lines.
std::optional<std::string> SystemDeviceUnavailability(const std::string& device, const SystemRoots& roots);

// Opens a device of the system for exclusive use, or raises CommError(PortUnavailable) with a
// reason a user can act on.
std::unique_ptr<SerialDevice> OpenSystemDevice(const std::string& device, const SystemRoots& roots);
