#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>

#include "link/clock.h"
#include "serial/serial_device.h"

// A clock that moves only while the code under test waits on it: a millisecond at a time,
// looking in between (without blocking) whether what the wait is for has happened. Reading it
// does not move it, so every run is the same and takes no real time. A loop that keeps waiting
// without letting time pass would never end: it raises instead, failing the test that runs it.
// Simulated devices read the clock through Source().
class FakeClock final : public Clock {
 public:
  explicit FakeClock(std::int32_t start = 1000) : now_(start) {}

  std::int32_t timeGetTime() override { return now_; }

  void WaitUpTo(std::int32_t ms, const BlockingWait& wait) override {
    const std::int32_t before = now_;
    for (std::int32_t waited = 0; waited < ms && !wait(0); ++waited) Advance(1);
    if (now_ != before) {
      idleWaits_ = 0;
    } else if (++idleWaits_ > kMostIdleWaits) {
      throw std::logic_error("a wait loop that lets no time pass");
    }
  }

  std::int32_t Reading() const { return now_; }
  void Advance(std::int32_t ms) {
    now_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(now_) + static_cast<std::uint32_t>(ms));
    onAdvance(now_);
  }
  // Called with each new reading.
  std::function<void(std::int32_t)> onAdvance = [](std::int32_t) {};

  MillisecondSource Source() {
    return [this] { return now_; };
  }

 private:
  static constexpr int kMostIdleWaits = 10'000;
  std::int32_t now_;
  int idleWaits_ = 0;
};
