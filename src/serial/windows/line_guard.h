#pragma once

#include <cstdint>
#include <span>

#include "serial/windows/windows_api.h"

// Puts a COM port this program has taken back as it was found: its device control block from
// before the open (rate, framing, flow control and the DTR and RTS states it holds), after it
// has sent the port's farewell, when it has one. Every
// guarded port is also put back by RestoreGuardedLines, which any ending of the program calls
// (see process_endings.h), from the console's own thread when the console asks the program to
// end. The handle itself is closed by its owner, or by Windows as the process ends.
class GuardedLine {
 public:
  GuardedLine() = default;
  ~GuardedLine() { Release(); }
  GuardedLine(const GuardedLine&) = delete;
  GuardedLine& operator=(const GuardedLine&) = delete;

  // Call once the port is open, before it is changed.
  void Take(HANDLE port, const Win32Dcb& original);
  // Puts the port back now; the handle stays open.
  void Release();
  // Bytes sent before the port is put back, at the settings then in force; at most 16.
  void SetFarewell(std::span<const std::uint8_t> bytes);

 private:
  int slot_ = -1;
};

// Puts back every port still guarded. Safe from another thread: each slot is claimed once.
void RestoreGuardedLines() noexcept;
