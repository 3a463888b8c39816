#include "cli/port_listing.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <vector>

#include "cli/run_json.h"
#include "serial/port_map.h"

namespace {

struct Row {
  std::string port;
  std::string device;
  std::string opens;
  std::vector<std::string> about;  // what it is, its by-id name, why it does not open
};

Row RowOf(PortMap& ports, int comPort) {
  const auto why = ports.Unavailability(comPort);
  const PortIdentity identity = ports.Identity(comPort);
  Row row{"COM " + std::to_string(comPort), ports.Device(comPort), why ? "no" : "yes", {}};
  // For a missing node the reason says all there is to say.
  if (identity.kind != PortIdentity::Kind::Missing || !why) {
    row.about.push_back(DescribeIdentity(identity));
  }
  if (!identity.byId.empty()) row.about.push_back(identity.byId);
  if (why) row.about.push_back(*why);
  return row;
}

}  // namespace

void ListPorts(PortMap& ports, std::ostream& out) {
  std::vector<Row> rows{{"PORT", "DEVICE", "OPENS", {"WHAT IT IS"}}};
  for (int n = 1; n <= PortMap::kComPorts; ++n) rows.push_back(RowOf(ports, n));
  std::size_t portWidth = 0, deviceWidth = 0;
  for (const Row& row : rows) {
    portWidth = std::max(portWidth, row.port.size());
    deviceWidth = std::max(deviceWidth, row.device.size());
  }
  const auto width = [](std::size_t columns) { return static_cast<int>(columns) + 2; };
  for (const Row& row : rows) {
    out << std::left << std::setw(width(portWidth)) << row.port << std::setw(width(deviceWidth))
        << row.device << std::setw(width(5)) << row.opens << row.about.front() << '\n';
    for (std::size_t i = 1; i < row.about.size(); ++i) {
      out << std::string(static_cast<std::size_t>(width(portWidth) + width(deviceWidth) + width(5)), ' ')
          << row.about[i] << '\n';
    }
  }
}

nlohmann::json PortListJson(PortMap& ports) {
  nlohmann::json list = nlohmann::json::array();
  for (int n = 1; n <= PortMap::kComPorts; ++n) {
    const auto why = ports.Unavailability(n);
    list.push_back({{"port", n},
                    {"device", ports.Device(n)},
                    {"available", !why},
                    {"reason", why ? nlohmann::json(*why) : nlohmann::json(nullptr)},
                    {"identity", IdentityJson(ports.Identity(n))}});
  }
  return {{"ports", list}};
}
