#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/aldl_frame.h"
#include "serial/port_identity.h"
#include "serial/serial_device.h"
#include "serial/system_roots.h"

class SimulatedAdaptor;

// Which device each of COM 1 to COM 16 stands for: a device of the system (a tty path, a Windows
// port name), or "sim" / "sim:FAULTS" for the simulated adaptor.
class PortMap {
 public:
  static constexpr int kComPorts = 16;

  // Each COM number starts as its DefaultDevice (system_ports.h). The roots say where the
  // kernel describes its devices.
  explicit PortMap(MillisecondSource simulatedClock, SystemRoots roots = SystemRoots{});
  ~PortMap();
  PortMap(PortMap&&) noexcept;
  PortMap& operator=(PortMap&&) noexcept;

  // The defaults, then ALDL_COM<n> from the environment (and the by-id folder from
  // ALDL_SERIAL_BY_ID), then the simulated adaptor on COM 1 when simulateFaults is given (""
  // for a good one). Raises std::invalid_argument for faults the simulated adaptor does not
  // know.
  static PortMap FromEnvironment(MillisecondSource simulatedClock,
                                 const std::optional<std::string>& simulateFaults);

  void Assign(int comPort, const std::string& device);
  // The device of a COM number, or "" outside 1 to 16.
  std::string Device(int comPort) const;

  // Raises CommError(PortUnavailable) with the reason when the device cannot be opened.
  std::unique_ptr<SerialDevice> Open(int comPort);

  // Why a port cannot be opened, or nothing when it can; found without opening it (see
  // SystemDeviceUnavailability).
  std::optional<std::string> Unavailability(int comPort);

  // What the device of a COM number is, read without opening it.
  PortIdentity Identity(int comPort) const;

  const SystemRoots& Roots() const { return roots_; }

  // The whole frames the simulated car on a port heard from the tester; none for any other
  // device.
  std::vector<FrameBytes> CarHeard(int comPort) const;

 private:
  // The simulated adaptor of a port, made on first use; raises CommError for unknown faults.
  SimulatedAdaptor& Adaptor(int comPort, const std::string& device);

  MillisecondSource simulatedClock_;
  SystemRoots roots_;
  std::array<std::string, kComPorts> devices_;
  // A simulated adaptor outlives the opens of its port, as a plugged-in cable does.
  std::map<int, std::unique_ptr<SimulatedAdaptor>> adaptors_;
};
