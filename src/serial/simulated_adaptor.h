#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "serial/serial_device.h"
#include "serial/simulated_faults.h"

// A looped-back adaptor on a line that keeps time by the given clock: bytes written leave at the
// line rate (10 bits a character), and while DTR or RTS powers the adaptor each comes back into
// the input queue 10 ms after it has left. With a car, the adaptor is on the car's data line
// instead: what comes back is what the line carried, the echo and the car's modules.
class SimulatedAdaptor {
 public:
  SimulatedAdaptor(SimFaults faults, MillisecondSource now);
  ~SimulatedAdaptor();

  // Opens the adaptor's port. Raises CommError(PortUnavailable) while it is already open or
  // once it has been unplugged. Closing (destroying the device) drops both lines and empties
  // the queues.
  std::unique_ptr<SerialDevice> Connect();
  // Why Connect would fail now, or nothing.
  std::optional<std::string> Unavailability();
  // The whole frames the car's modules heard from the tester; none without a car.
  std::vector<FrameBytes> CarHeard() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};
