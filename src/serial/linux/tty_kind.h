#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "serial/system_roots.h"

// What a character device is, as the kernel describes it without the device being opened.
enum class TtyKind {
  NotTty,          // a character device of another subsystem
  CallerTerminal,  // /dev/tty
  SystemConsole,   // /dev/console
  PtyMultiplexer,  // /dev/ptmx
  VirtualConsole,  // /dev/tty0 to /dev/tty63
  VirtualTty,      // a tty with no hardware behind it (ttyprintk, ttynull, ...)
  EmptyUartSlot,   // a built-in serial port with no UART (its type is 0)
  SerialLine,      // a tty with hardware behind it
  PtySlave,
  Unknown,         // neither sysfs nor /proc/tty/drivers can tell
};

struct TtyFacts {
  TtyKind kind = TtyKind::Unknown;
  std::string name;              // the kernel's name: ttyUSB0, ttyS1, pts/3
  std::filesystem::path sysfsDir;  // the device's own folder in sysfs, when there is one
  bool kernelConsole = false;    // a serial line the kernel writes its console to
};

TtyFacts ClassifyCharDevice(dev_t device, const SystemRoots& roots);

// Whether the device is the controlling terminal of this process or one of its standard streams.
bool IsOwnTerminal(dev_t device, const SystemRoots& roots);

// The first line of a sysfs attribute, or "" when there is none.
std::string ReadAttribute(const std::filesystem::path& file);
