#include "cli/port_listing.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

#include "serial/port_map.h"

void ListPorts(PortMap& ports, std::ostream& out) {
  std::size_t deviceWidth = 0;
  for (int n = 1; n <= PortMap::kComPorts; ++n) {
    deviceWidth = std::max(deviceWidth, ports.Device(n).size());
  }
  for (int n = 1; n <= PortMap::kComPorts; ++n) {
    const auto why = ports.Unavailability(n);
    out << "COM " << std::left << std::setw(4) << n << std::setw(static_cast<int>(deviceWidth) + 2)
        << ports.Device(n) << (why ? "cannot be opened: " + *why : "can be opened") << '\n';
  }
}
