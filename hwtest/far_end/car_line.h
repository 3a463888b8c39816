#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "serial/simulated_car.h"

// The cable on a car's data line instead of looped back: what the host sends goes onto the
// line paced at the chip's rate, and what the line carries (the echo and the car's modules)
// comes back as each character ends. The same interface as PacedEcho.
class CarLine {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CarLine(const CarFaults& faults);

  void SetRate(double baud);
  void Accept(std::span<const std::uint8_t> bytes, Clock::time_point now);
  std::vector<std::uint8_t> TakeDue(Clock::time_point now);
  std::optional<Clock::time_point> NextDue() const;
  // The whole frames the car heard from the tester, in order, and their modes.
  std::vector<FrameBytes> FramesHeard() const { return car_.HeardFromTester(); }
  std::vector<int> ModesHeard() const;

  // What the ECU's own reply time is: from the request's last bit to its reply's first byte.
  static constexpr double kEcuOwnReplyMs = 5 + 10.0 * 1000 / 8192;

 private:
  double Ms(Clock::time_point when) const;

  SimulatedCar car_;
  Clock::time_point start_ = Clock::now();
  double baud_ = 8192;
  double lineFreeMs_ = 0;
};
