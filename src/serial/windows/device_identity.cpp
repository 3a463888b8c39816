#include "serial/port_identity.h"

#include "serial/windows/windows_api.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <vector>

#include "serial/windows/system_error_text.h"
#include "serial/windows/usb_instance_id.h"

namespace {

// The setup class of serial and parallel ports.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// How far above the port to look for its USB device: an FTDI port sits below the FTDI bus
// driver's node, which sits below the USB device.
constexpr int kLevelsToUsbDevice = 3;

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

// A value of the device's own parameters (its hardware key), where a port driver keeps the port's
// name and FTDI's keeps its latency timer; its type and size checked.
bool DeviceParameter(HDEVINFO set, SP_DEVINFO_DATA& info, const wchar_t* name, DWORD wantedType, void* value,
                     DWORD size) {
  HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return false;
  DWORD type = 0;
  const bool found = RegQueryValueExW(key, name, nullptr, &type, static_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
                     type == wantedType;
  RegCloseKey(key);
  return found;
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
  wchar_t name[64] = {};
  if (!DeviceParameter(set, info, L"PortName", REG_SZ, name, sizeof name - sizeof(wchar_t))) return "";
  return Narrowed(name);
}

// FTDI's driver holds received bytes up to this many ms; "" for a port whose driver has no such
// timer.
std::string LatencyTimerOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
  DWORD ms = 0;
  if (!DeviceParameter(set, info, L"LatencyTimer", REG_DWORD, &ms, sizeof ms)) return "";
  return std::to_string(ms);
}

std::string InstanceId(DEVINST node) {
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  return CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS ? Narrowed(id) : "";
}

// The USB device the port belongs to, from its own node or one above it.
std::optional<UsbInstance> UsbDeviceOf(DEVINST node) {
  for (int level = 0; level <= kLevelsToUsbDevice; ++level) {
    if (auto usb = ParseUsbInstanceId(InstanceId(node))) return usb;
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
    node = parent;
  }
  return std::nullopt;
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
    if (const auto usb = UsbDeviceOf(info.DevInst)) {
      identity.kind = PortIdentity::Kind::Usb;
      identity.manufacturer = Property(set, info, SPDRP_MFG);
      identity.product = product;
      identity.vendorId = usb->vendorId;
      identity.productId = usb->productId;
      identity.serialNumber = usb->serialNumber;
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
