#pragma once

#include <string>

#include "common/test_panel.h"

inline std::string PhaseName(int phase) { return "Phase" + std::to_string(phase); }

// A port that is closed or gone (a reopen that failed, a pulled cable) when a rate is set, and a
// phase that finds it so.
inline const std::string kPortNotOpenText = " >>COM port is not open";
inline const std::string kPortNotOpenStatus = "COM port is not open";
inline std::string PortNotOpenText(int phase) {
  return kPortNotOpenText + ", " + PhaseName(phase) + " failed";
}

inline const std::string kRefusedRateText =
    "Failed to set COM baud rate.  Verify that the PC serial port is correctly set-up" + CRLF +
    CRLF + "Exiting the test procedure.";
