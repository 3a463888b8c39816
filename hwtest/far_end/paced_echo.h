#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

// A looped-back line: every byte goes back one character time (10 bits) after the line is
// free, so a block comes back at exactly the rate in force; later by the latency, when one is
// set, as an adaptor that holds bytes returns them.
class PacedEcho {
 public:
  using Clock = std::chrono::steady_clock;

  // A rate of 0 (none set yet) leaves the rate as it was.
  void SetRate(double baud) {
    if (baud > 0) baud_ = baud;
  }
  void SetLatency(Clock::duration latency) { latency_ = latency; }
  void Accept(std::span<const std::uint8_t> bytes, Clock::time_point now);
  // The bytes whose time has come, in order.
  std::vector<std::uint8_t> TakeDue(Clock::time_point now);
  std::optional<Clock::time_point> NextDue() const;
  void Clear();

 private:
  struct Pending {
    Clock::time_point due;
    std::uint8_t byte;
  };
  double baud_ = 8192;
  Clock::duration latency_{};
  Clock::time_point lineFree_{};
  std::deque<Pending> pending_;
};
