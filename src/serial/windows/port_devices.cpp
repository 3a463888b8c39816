#include "serial/windows/port_devices.h"

#include <cfgmgr32.h>

#include <algorithm>
#include <optional>

#include "serial/windows/system_error_text.h"
#include "serial/windows/usb_instance_id.h"

namespace {

// How far above the port to look for its USB device: an FTDI port sits below the FTDI bus
// driver's node, which sits below the USB device.
constexpr int kLevelsToUsbDevice = 3;

}  // namespace

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

std::string InstanceId(DEVINST node) {
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  return CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS ? Narrowed(id) : "";
}

std::optional<DEVINST> UsbDeviceOf(DEVINST node) {
  for (int level = 0; level <= kLevelsToUsbDevice; ++level) {
    if (ParseUsbInstanceId(InstanceId(node))) return node;
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
    node = parent;
  }
  return std::nullopt;
}

std::string AdaptorOf(DEVINST port) { return InstanceId(UsbDeviceOf(port).value_or(port)); }

std::string AdaptorOfInstance(const std::string& portInstanceId) {
  std::wstring id = Widened(portInstanceId);
  DEVINST node = 0;
  if (CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return "";
  return AdaptorOf(node);
}

std::vector<ListedPort> PresentPorts() {
  std::vector<ListedPort> ports;
  HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
    const std::string port = PortNameOf(set, info);
    if (port.starts_with("COM")) ports.push_back({port, AdaptorOf(info.DevInst)});
  }
  SetupDiDestroyDeviceInfoList(set);
  return ports;
}

std::string InstanceIdOfInterface(const std::string& symbolicLink) {
  std::string id = symbolicLink.starts_with("\\\\?\\") ? symbolicLink.substr(4) : symbolicLink;
  if (const auto guid = id.rfind("#{"); guid != std::string::npos) id.resize(guid);
  std::ranges::replace(id, '#', '\\');
  return id;
}
