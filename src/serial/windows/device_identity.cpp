#include "serial/port_identity.h"

#include "serial/windows/windows_api.h"

#include <cfgmgr32.h>

#include <vector>

#include "serial/windows/port_devices.h"
#include "serial/windows/system_error_text.h"
#include "serial/windows/usb_instance_id.h"

namespace {

// "COM3" for "COM3" and for "\\.\COM3".
std::string PortName(const std::string& device) {
  const std::size_t slash = device.find_last_of('\\');
  return slash == std::string::npos ? device : device.substr(slash + 1);
}

std::string Property(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
  std::vector<wchar_t> text(512, L'\0');
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type,
                                         reinterpret_cast<BYTE*>(text.data()),
                                         static_cast<DWORD>(text.size() * sizeof(wchar_t)), nullptr) ||
      (type != REG_SZ && type != REG_MULTI_SZ)) {
    return "";
  }
  return Narrowed(text.data());
}

// FTDI's driver holds received bytes up to this many ms; "" for a port whose driver has no such
// timer.
std::string LatencyTimerOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
  DWORD ms = 0;
  if (!DeviceParameter(set, info, L"LatencyTimer", REG_DWORD, &ms, sizeof ms)) return "";
  return std::to_string(ms);
}

// The friendly name without the " (COM3)" that Windows adds to it.
std::string WithoutPortName(const std::string& friendly, const std::string& port) {
  const std::string suffix = " (" + port + ")";
  return friendly.ends_with(suffix) ? friendly.substr(0, friendly.size() - suffix.size()) : friendly;
}

// What SetupAPI knows of the port's device: false when no present device has this port name.
bool ReadDevice(const std::string& port, PortIdentity& identity) {
  HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(set, i, &info); ++i) {
    if (_stricmp(PortNameOf(set, info).c_str(), port.c_str()) != 0) continue;
    found = true;
    const std::string product = WithoutPortName(Property(set, info, SPDRP_FRIENDLYNAME), port);
    identity.driver = Property(set, info, SPDRP_SERVICE);
    if (const auto usbNode = UsbDeviceOf(info.DevInst)) {
      const UsbInstance usb = *ParseUsbInstanceId(InstanceId(*usbNode));
      identity.kind = PortIdentity::Kind::Usb;
      identity.manufacturer = Property(set, info, SPDRP_MFG);
      identity.product = product;
      identity.vendorId = usb.vendorId;
      identity.productId = usb.productId;
      identity.serialNumber = usb.serialNumber;
      identity.latencyTimer = LatencyTimerOf(set, info);
    } else if (InstanceId(info.DevInst).starts_with("ACPI\\PNP0501")) {
      identity.kind = PortIdentity::Kind::Uart;
      identity.uartType = "16550-compatible";
    } else {
      identity.kind = PortIdentity::Kind::OtherSerial;
      identity.name = product.empty() ? port : product + " " + port;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace

// Windows names its ports in the DOS device namespace; nothing is opened to look.
PortIdentity IdentifyDevice(const std::string& device, const SystemRoots& /*roots*/) {
  PortIdentity identity;
  const std::string port = PortName(device);
  identity.name = port;
  std::vector<wchar_t> target(1024, L'\0');
  if (QueryDosDeviceW(Widened(port).c_str(), target.data(), static_cast<DWORD>(target.size())) == 0) {
    identity.kind = GetLastError() == ERROR_FILE_NOT_FOUND ? PortIdentity::Kind::Missing
                                                           : PortIdentity::Kind::Unknown;
    return identity;
  }
  if (!ReadDevice(port, identity)) identity.kind = PortIdentity::Kind::OtherSerial;
  return identity;
}
