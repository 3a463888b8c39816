#pragma once

#include <memory>
#include <string>

#include "serial/serial_device.h"
#include "serial/system_roots.h"

// What each operating system gives the port map; src/serial/linux and src/serial/windows each
// implement it, and the build picks one.

// The device a COM number stands for unless ALDL_COM<n> names another.
std::string DefaultDevice(int comPort);

// Opens a device of the system for exclusive use, or raises CommError(PortUnavailable) with a
// reason a user can act on.
std::unique_ptr<SerialDevice> OpenSystemDevice(const std::string& device, const SystemRoots& roots);
