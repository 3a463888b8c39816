#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class PortContext;

// What a port choice shows: the Com Status text, the Baud Rate text (nothing: left as it is),
// the one checked entry of the Com Port menu (0 is "No Selection") and whether Start Test is
// enabled.
struct PortSelectionView {
  std::string comStatus;
  std::optional<std::string> baudValue;
  int checkedEntry = 0;
  bool startEnabled = false;
};

struct PortRestoreOutcome {
  PortSelectionView view;
  bool previousPortGone = false;  // beep and say the saved port is no longer available
};

inline constexpr std::int32_t kProbedComPorts = 16;

// Resets the port state and probes COM 1 to COM 16: entry i tells whether COM i+1 opened.
std::vector<bool> ProbeComPorts(PortContext& port);

// Reopens the port saved at the last close ("<none>" or a number text), given the probe.
PortRestoreOutcome RestoreSavedPort(PortContext& port, const std::string& saved,
                                    const std::vector<bool>& available);

// A choice in the Com Port menu: 0 closes the port, n opens COM n.
PortSelectionView SelectComPort(PortContext& port, std::int16_t index);

// After a run: a ready port that is gone (a pulled cable) is shown as a choice that failed to
// open. CurrentPort is kept, so that shutdown saves it. Nothing when the port is still there.
std::optional<PortSelectionView> DropLostPort(PortContext& port);
