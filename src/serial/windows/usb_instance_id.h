#pragma once

#include <optional>
#include <string>

// What a USB device's instance id tells: "USB\VID_0403&PID_6001\A1B2C3" is vendor 0403, product
// 6001, serial number A1B2C3. Windows makes up the last part ("6&2b7f3c1a&0&2", with '&') for a
// device that reports no serial number; then the serial number is "". Ids are lower-case hex, as
// Linux shows them.
struct UsbInstance {
  std::string vendorId;
  std::string productId;
  std::string serialNumber;
  bool operator==(const UsbInstance&) const = default;
};

// Nothing for an id of another bus.
std::optional<UsbInstance> ParseUsbInstanceId(const std::string& instanceId);
