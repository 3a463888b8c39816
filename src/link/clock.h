#pragma once

#include <cstdint>

// The system's millisecond clock: a 32-bit count that wraps (its signed reading turns negative
// after about 24.8 days and wraps to 0 after about 49.7 days).
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int32_t timeGetTime() = 0;
};

// The monotonic clock of this machine.
class SystemClock final : public Clock {
 public:
  std::int32_t timeGetTime() override;
};

// Timer resolution requests. The monotonic clock already reads to the millisecond on Linux, so
// there is nothing to raise; the calls mark where a 1 ms resolution is needed.
inline void timeBeginPeriod(unsigned /*ms*/) {}
inline void timeEndPeriod(unsigned /*ms*/) {}

// A wait that began at a clock reading and ends once limitMs have passed. Compares by unsigned
// difference, so it ends correctly when the clock wraps during it.
class Deadline {
 public:
  Deadline(std::int32_t start, std::int32_t limitMs) : start_(start), limitMs_(limitMs) {}

  bool PassedAt(std::int32_t reading) const {
    return limitMs_ <= 0 || Since(start_, reading) >= static_cast<std::uint32_t>(limitMs_);
  }

  // Milliseconds from one reading to a later one, across a wrap.
  static std::uint32_t Since(std::int32_t from, std::int32_t to) {
    return static_cast<std::uint32_t>(to) - static_cast<std::uint32_t>(from);
  }

 private:
  std::int32_t start_;
  std::int32_t limitMs_;
};
