#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>

class PortMap;

// COM 1 to COM 16 as a table: the device, whether it can be opened, what it is (adaptor, UART,
// pty) with its /dev/serial/by-id name, and why it cannot be opened. Only devices that are serial
// lines are opened, and closed again, to find out.
void ListPorts(PortMap& ports, std::ostream& out);

// The same as one object: {"ports": [{"port": 1, "device": "/dev/ttyS0", "available": false,
// "reason": "..." | null, "identity": IDENTITY}, ...]}, IDENTITY as in run_json.h.
nlohmann::json PortListJson(PortMap& ports);
