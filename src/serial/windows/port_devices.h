#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/windows/com_port_watch.h"
#include "serial/windows/windows_api.h"

#include <cfgmgr32.h>
#include <setupapi.h>

// The setup class of serial and parallel ports.
inline constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// A value of a port's own parameters (its hardware key), where a port driver keeps the port's
// name and FTDI's keeps its latency timer; its type and size checked.
bool DeviceParameter(HDEVINFO set, SP_DEVINFO_DATA& info, const wchar_t* name, DWORD wantedType, void* value,
                     DWORD size);
// "COM7"; "" for a port with no name.
std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& info);
std::string InstanceId(DEVINST node);
// The USB device the port belongs to, from its own node or one above it; nothing for a port
// of another bus.
std::optional<DEVINST> UsbDeviceOf(DEVINST node);

// The adaptor a port belongs to, by instance id: its USB device's ("USB\VID_0403&PID_6001\A1B2C3"),
// or the port's own when it is on no USB device. "" when the node is gone.
std::string AdaptorOf(DEVINST port);
std::string AdaptorOfInstance(const std::string& portInstanceId);

// Each present COM port, as SetupAPI lists the ports class; nothing is opened.
std::vector<ListedPort> PresentPorts();

// The instance id of the device behind a device interface's symbolic link:
// "USB\VID_1A86&PID_7523\5&2B&0&2" for "\\?\USB#VID_1A86&PID_7523#5&2B&0&2#{86e0d1e0-...}".
std::string InstanceIdOfInterface(const std::string& symbolicLink);
