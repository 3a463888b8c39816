#pragma once

#include <cstdint>
#include <span>

struct termios2;

// Puts a tty this program has taken back as it was found: its line settings and its DTR and RTS
// from before the test changed them, exclusive mode off and the lock released; first it sends
// the line's farewell, when it has one. Every guarded line is also put back by
// RestoreGuardedLines, which any ending of the program calls (see process_endings.h).
class GuardedLine {
 public:
  GuardedLine() = default;
  ~GuardedLine() { Release(); }
  GuardedLine(const GuardedLine&) = delete;
  GuardedLine& operator=(const GuardedLine&) = delete;

  // Call once the lock is held and exclusive mode set, before the line is changed.
  void Take(int fd, const termios2& original);
  // Puts the line back now; the descriptor stays open.
  void Release();
  // Bytes sent before the line is put back, at the settings then in force; at most 16.
  void SetFarewell(std::span<const std::uint8_t> bytes);

 private:
  int slot_ = -1;
};

// Puts back every line still guarded. Async-signal-safe: system calls only, no allocation.
void RestoreGuardedLines() noexcept;
