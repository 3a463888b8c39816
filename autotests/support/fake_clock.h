#pragma once

#include <cstdint>

#include "link/clock.h"
#include "serial/serial_device.h"

// A clock that moves only when read by the code under test: every timeGetTime() returns the
// current reading and then moves it on by one step, so polling loops make progress and every
// run is the same. Simulated devices read it through Source(), which does not move it.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(std::int32_t start = 1000, std::int32_t step = 1) : now_(start), step_(step) {}

  std::int32_t timeGetTime() override {
    const std::int32_t reading = now_;
    Advance(step_);
    return reading;
  }

  std::int32_t Reading() const { return now_; }
  void Advance(std::int32_t ms) {
    now_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(now_) + static_cast<std::uint32_t>(ms));
  }
  MillisecondSource Source() {
    return [this] { return now_; };
  }

 private:
  std::int32_t now_;
  std::int32_t step_;
};
