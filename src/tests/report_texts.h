#pragma once

#include <string>

inline const std::string CRLF = "\r\n";

inline std::string PhaseName(int phase) { return "Phase" + std::to_string(phase); }

// A phase that finds the port closed (a reopen that failed, a pulled cable) fails with this.
inline std::string PortNotOpenText(int phase) {
  return " >>COM port is not open, " + PhaseName(phase) + " failed";
}

inline const std::string kRefusedRateText =
    "Failed to set COM baud rate.  Verify that the PC serial port is correctly set-up" + CRLF +
    CRLF + "Exiting the test procedure.";
