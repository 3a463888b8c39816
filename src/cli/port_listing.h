#pragma once

#include <iosfwd>

class PortMap;

// COM 1 to COM 16, one line each: the device and whether it can be opened, or why not. Each
// port is opened and closed again to find out.
void ListPorts(PortMap& ports, std::ostream& out);
