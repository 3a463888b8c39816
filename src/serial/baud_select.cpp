#include "serial/baud_select.h"

#include <algorithm>

#include "serial/port_context.h"

std::int32_t BaudOfMenuEntry(int index) {
  return index >= 0 && index < static_cast<int>(kSelectableBauds.size()) ? kSelectableBauds[index]
                                                                         : 9600;
}

std::optional<int> MenuEntryOfBaud(std::int32_t rate) {
  const auto found = std::find(kSelectableBauds.begin(), kSelectableBauds.end(), rate);
  if (found == kSelectableBauds.end()) return std::nullopt;
  return static_cast<int>(found - kSelectableBauds.begin());
}

bool SelectBaud(PortContext& port, std::int32_t rate) {
  const bool accepted = port.ComSetup().SetBaud(rate);
  port.state.CurrentBaud = accepted ? rate : 0;
  return accepted;
}
