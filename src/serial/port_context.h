#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "serial/MSComm.h"
#include "serial/clsComSetup.h"

class PortMap;

// The port-state record that the rest of the system reads.
struct PortState {
  std::int16_t CurrentPort = 0;  // the selected COM port; 0 is none
  bool PortReady = false;        // a port is open and configured
  std::int32_t CurrentBaud = 0;  // the rate in force on the port
};

// The serial side of the window: the one serial control, the one port object and the port
// state.
class PortContext {
 public:
  PortContext(PortMap& ports, std::function<void()> doEvents);
  ~PortContext();

  // The port object, created (and handed the serial control) on first use.
  clsComSetup& ComSetup();
  // Releasing the port object closes the port.
  void ReleaseComSetup() { comSetup_.reset(); }

  MSComm MSComm1;
  PortState state;

 private:
  std::function<void()> doEvents_;
  std::unique_ptr<clsComSetup> comSetup_;
};

// Switches the adaptor's power lines on a ready port: closes it, sets DTR and RTS, reopens it
// and puts CurrentBaud back. A failing step is skipped and not reported.
void SetLinePower(PortContext& port, bool dtr, bool rts);
