#pragma once

#include <sys/types.h>

#include <string>

#include "serial/system_roots.h"

// Makes sure that the path (symlinks followed) is a serial line or a pty slave before anything
// opens it; everything else raises CommError(PortUnavailable) with the reason, untouched:
// files, folders, pipes, sockets, other devices, /dev/tty, /dev/console, /dev/ptmx, virtual
// consoles, this program's own terminal, an empty UART slot and the kernel's serial console.
// Gives the device number found, for the opener to check it opened that very device.
dev_t CheckSerialLine(const std::string& path, const SystemRoots& roots);
