#pragma once

#include <string>

#include "serial/system_roots.h"

// What a mapped device is, as the operating system names it, read without opening the device.
struct PortIdentity {
  enum class Kind {
    Simulated,      // the simulated adaptor
    Missing,        // no such node
    NotSerial,      // a node that is no serial line (file, pipe, /dev/tty, virtual console, ...)
    Usb,            // a USB serial adaptor
    Uart,           // a built-in UART
    EmptyUartSlot,  // a built-in serial port with no UART behind it
    OtherSerial,    // another serial line with hardware behind it
    Pty,            // a pseudo-terminal slave
    Unknown,        // neither sysfs nor /proc tells
  };

  Kind kind = Kind::Unknown;
  std::string name;  // the kernel's name: ttyUSB0, ttyS0, pts/3
  // USB adaptors: the strings the adaptor reports, its ids as four hex digits and the kernel
  // driver bound to it (ftdi_sio, ch341, cp210x, pl2303, cdc_acm, ...).
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
  std::string vendorId;
  std::string productId;
  std::string driver;
  // How many ms the adaptor's driver holds received bytes before passing them on (FTDI's
  // latency timer), as the driver shows it; "" when it has no such setting.
  std::string latencyTimer;
  std::string uartType;  // built-in UARTs: 16550A, ...
  std::string byId;      // the stable /dev/serial/by-id name, when there is one
  bool kernelConsole = false;
};

// Identity of a device of the system (a path, symlinks followed; a Windows port name), from the
// platform's folder.
PortIdentity IdentifyDevice(const std::string& device, const SystemRoots& roots);

// One line for a person: "FTDI FT232R USB UART (USB 0403:6001, ftdi_sio, serial A1B2C3, latency
// timer 16 ms)".
std::string DescribeIdentity(const PortIdentity& identity);

// The kind as one word for scripts: "usb", "uart", "pty", ...
std::string KindName(PortIdentity::Kind kind);
