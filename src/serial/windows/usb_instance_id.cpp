#include "serial/windows/usb_instance_id.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsHexId(const std::string& text) {
  return text.size() == 4 && std::all_of(text.begin(), text.end(), [](unsigned char c) {
           return std::isxdigit(c) != 0;
         });
}

}  // namespace

std::optional<UsbInstance> ParseUsbInstanceId(const std::string& instanceId) {
  const std::string id = Upper(instanceId);
  if (!id.starts_with("USB\\VID_")) return std::nullopt;
  const std::size_t ids = id.find('\\');
  const std::size_t instance = id.find('\\', ids + 1);
  const std::string device = id.substr(ids + 1, instance == std::string::npos ? std::string::npos : instance - ids - 1);
  // VID_xxxx&PID_xxxx, perhaps followed by &MI_nn for one interface of a composite device.
  if (device.size() < 17 || device.compare(8, 5, "&PID_") != 0) return std::nullopt;
  UsbInstance usb{Lower(device.substr(4, 4)), Lower(device.substr(13, 4)), ""};
  if (!IsHexId(usb.vendorId) || !IsHexId(usb.productId)) return std::nullopt;
  if (instance != std::string::npos) {
    const std::string serial = instanceId.substr(instance + 1);
    if (serial.find('&') == std::string::npos) usb.serialNumber = serial;
  }
  return usb;
}
