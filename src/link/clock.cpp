#include "link/clock.h"

#include <chrono>

std::int32_t SystemClock::timeGetTime() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

void SystemClock::WaitUpTo(std::int32_t ms, const BlockingWait& wait) { wait(ms); }
