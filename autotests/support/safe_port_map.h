#pragma once

#include <string>

#include "serial/port_map.h"

// A port map in which every COM port names a path that does not exist, so that nothing a test
// does can reach the machine's real serial devices; tests assign the ports they use.
inline PortMap SafePortMap(MillisecondSource clock) {
  PortMap ports(std::move(clock));
  for (int n = 1; n <= PortMap::kComPorts; ++n) {
    ports.Assign(n, "/nonexistent-aldl-test/com" + std::to_string(n));
  }
  return ports;
}
