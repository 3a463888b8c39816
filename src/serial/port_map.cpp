#include "serial/port_map.h"

#include <cstdlib>
#include <stdexcept>

#include "serial/comm_error.h"
#include "serial/simulated_adaptor.h"
#include "serial/system_ports.h"

namespace {

constexpr std::string_view kSimulated = "sim";

bool IsSimulated(const std::string& device) {
  return device == kSimulated || device.starts_with(std::string(kSimulated) + ":");
}

std::string FaultsOf(const std::string& device) {
  return device.size() > kSimulated.size() ? device.substr(kSimulated.size() + 1) : "";
}

std::string Unmapped(int comPort) { return "COM " + std::to_string(comPort) + " is not mapped to a device"; }

}  // namespace

PortMap::PortMap(MillisecondSource simulatedClock, SystemRoots roots)
    : simulatedClock_(std::move(simulatedClock)), roots_(std::move(roots)) {
  for (int n = 1; n <= kComPorts; ++n) devices_[n - 1] = DefaultDevice(n);
}

PortMap::~PortMap() = default;
PortMap::PortMap(PortMap&&) noexcept = default;
PortMap& PortMap::operator=(PortMap&&) noexcept = default;

PortMap PortMap::FromEnvironment(MillisecondSource simulatedClock,
                                 const std::optional<std::string>& simulateFaults) {
  SystemRoots roots;
  if (const char* byId = std::getenv("ALDL_SERIAL_BY_ID")) roots.serialById = byId;
  PortMap map(std::move(simulatedClock), std::move(roots));
  for (int n = 1; n <= kComPorts; ++n) {
    if (const char* device = std::getenv(("ALDL_COM" + std::to_string(n)).c_str())) {
      map.Assign(n, device);
    }
  }
  if (simulateFaults) {
    ParseSimFaults(*simulateFaults);
    map.Assign(1, simulateFaults->empty() ? std::string(kSimulated)
                                          : std::string(kSimulated) + ":" + *simulateFaults);
  }
  return map;
}

void PortMap::Assign(int comPort, const std::string& device) {
  if (comPort < 1 || comPort > kComPorts) {
    throw std::out_of_range("COM " + std::to_string(comPort) + " is not one of COM 1 to COM 16");
  }
  devices_[comPort - 1] = device;
  adaptors_.erase(comPort);
}

std::string PortMap::Device(int comPort) const {
  return comPort >= 1 && comPort <= kComPorts ? devices_[comPort - 1] : "";
}

std::unique_ptr<SerialDevice> PortMap::Open(int comPort) {
  const std::string device = Device(comPort);
  if (device.empty()) throw CommError(CommErrorNumber::PortUnavailable, Unmapped(comPort));
  if (!IsSimulated(device)) return OpenSystemDevice(device, roots_);
  return Adaptor(comPort, device).Connect();
}

std::optional<std::string> PortMap::Unavailability(int comPort) {
  const std::string device = Device(comPort);
  if (device.empty()) return Unmapped(comPort);
  if (!IsSimulated(device)) return SystemDeviceUnavailability(device, roots_);
  try {
    return Adaptor(comPort, device).Unavailability();
  } catch (const CommError& bad) {
    return bad.what();
  }
}

SimulatedAdaptor& PortMap::Adaptor(int comPort, const std::string& device) {
  auto& adaptor = adaptors_[comPort];
  if (!adaptor) {
    try {
      adaptor = std::make_unique<SimulatedAdaptor>(ParseSimFaults(FaultsOf(device)), simulatedClock_);
    } catch (const std::invalid_argument& bad) {
      adaptors_.erase(comPort);
      throw CommError(CommErrorNumber::PortUnavailable, bad.what());
    }
  }
  return *adaptor;
}

PortIdentity PortMap::Identity(int comPort) const {
  const std::string device = Device(comPort);
  if (!IsSimulated(device)) return IdentifyDevice(device, roots_);
  PortIdentity simulated;
  simulated.kind = PortIdentity::Kind::Simulated;
  return simulated;
}

std::vector<FrameBytes> PortMap::CarHeard(int comPort) const {
  const auto adaptor = adaptors_.find(comPort);
  return adaptor == adaptors_.end() ? std::vector<FrameBytes>{} : adaptor->second->CarHeard();
}
