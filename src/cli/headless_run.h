#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "adaptor_tests/run_control.h"
#include "adaptor_tests/test_session.h"

class Clock;
class PortMap;
class TerminalPanel;

// The window's port handling and Start Test without the window, on one port. Ctrl-C reaches a
// running test where the window would process its events; there it sleeps instead.
class HeadlessRun {
 public:
  HeadlessRun(PortMap& ports, Clock& clock, TerminalPanel& panel, std::string decimalSeparator);

  // Opens COM n as the Com Port menu does: nothing when it is ready, else why it is not.
  std::optional<std::string> OpenPort(std::int16_t comPort);
  // Sets the rate in force as the Baud Select menu does.
  void SelectRate(std::int32_t rate);
  // Start Test: no record when the port is not ready. The car link test asks as car says.
  std::optional<RunRecord> Run(TestKind kind, const CarLinkOptions& car = {});

 private:
  void DoEvents();
  void Sleep(std::int32_t ms);

  PortMap& ports_;
  TerminalPanel& panel_;
  TestSession session_;
};
