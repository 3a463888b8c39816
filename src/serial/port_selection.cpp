#include "serial/port_selection.h"

#include <charconv>
#include <sstream>

#include "common/number_text.h"
#include "serial/port_context.h"

namespace {

constexpr const char* kNoComSelected = "No Com Selected";
constexpr const char* kNotSet = "Not Set";

// The saved port as a number: "<none>" and any text that is not a whole number give 0.
std::int32_t SavedPortNumber(const std::string& saved) {
  if (saved.find("<none>") != std::string::npos) return 0;
  std::int32_t number = 0;
  const auto* end = saved.data() + saved.size();
  const auto [stop, error] = std::from_chars(saved.data(), end, number);
  return error == std::errc() && stop == end ? number : 0;
}

void ResetPortState(PortContext& port) { port.state = PortState{}; }

std::string FailedOpenText(std::int16_t comPort) { return "Unable to open Com" + NumberText(comPort); }

}  // namespace

std::vector<bool> ProbeComPorts(PortContext& port) {
  ResetPortState(port);
  clsComSetup& setup = port.ComSetup();
  setup.SetComObject(port.MSComm1);
  setup.SetMaxComPorts(kProbedComPorts);

  std::vector<bool> available;
  std::istringstream found(setup.FindAvailPorts());
  for (std::string entry; std::getline(found, entry, ',');) available.push_back(entry == "TRUE");
  return available;
}

PortRestoreOutcome RestoreSavedPort(PortContext& port, const std::string& saved,
                                    const std::vector<bool>& available) {
  clsComSetup& setup = port.ComSetup();
  std::int32_t savedPort = SavedPortNumber(saved);
  if (savedPort > setup.MaxComPorts() || savedPort < 1) savedPort = 0;

  if (savedPort == 0) return {{kNoComSelected, kNotSet, 0, false}, false};

  const auto entry = static_cast<std::size_t>(savedPort - 1);
  if (entry >= available.size() || !available[entry]) {
    return {{kNoComSelected, std::nullopt, 0, false}, true};
  }

  if (setup.OpenComPort(savedPort) != 0) {
    setup.CloseCom();
    return {{"Err Opening COM port", kNotSet, 0, false}, false};
  }

  port.state.PortReady = true;
  port.state.CurrentPort = static_cast<std::int16_t>(savedPort);
  port.state.CurrentBaud = setup.BaudSetting();
  return {{"COM" + NumberText(savedPort) + " Open", NumberText(setup.BaudSetting()), savedPort, true},
          false};
}

std::optional<PortSelectionView> DropLostPort(PortContext& port) {
  if (!port.state.PortReady || port.MSComm1.PortOpen()) return std::nullopt;
  port.ComSetup().CloseCom();
  port.state.PortReady = false;
  port.state.CurrentBaud = port.ComSetup().BaudSetting();
  return PortSelectionView{FailedOpenText(port.state.CurrentPort), kNotSet, 0, false};
}

PortSelectionView SelectComPort(PortContext& port, std::int16_t index) {
  ResetPortState(port);
  clsComSetup& setup = port.ComSetup();
  const bool opened = setup.OpenComPort(index) == 0;

  port.state.CurrentPort = index;
  port.state.CurrentBaud = setup.BaudSetting();
  if (!opened) return {FailedOpenText(index), kNotSet, 0, false};
  if (index == 0) return {kNoComSelected, kNotSet, 0, false};

  port.state.PortReady = true;
  return {"Com" + NumberText(index) + " open", NumberText(setup.BaudSetting()), index, true};
}
