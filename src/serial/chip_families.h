#pragma once

#include <string_view>

#include "serial/port_identity.h"

// A family of USB serial chips and what its Linux driver does when asked for 8192 baud.
struct ChipFamily {
  std::string_view name;    // as printed on the chip: "FTDI", "CH340/CH341", ...
  std::string_view driver;  // the kernel driver bound to it
  bool runs8192;            // within 0.1%, and reads back the rate asked
  std::string_view at8192;  // what it does at 8192, one sentence without its full stop
};

// The family of a USB adaptor by its vendor:product id, else by its driver; nothing for an
// unknown chip and for anything that is not a USB adaptor.
const ChipFamily* ChipFamilyOf(const PortIdentity& identity);
