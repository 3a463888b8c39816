#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// A blocking wait of at most ms milliseconds of real time (0: only look, without blocking). True
// once what it waits for may have happened, so that the time left need not pass.
using BlockingWait = std::function<bool(std::int32_t ms)>;

// The system's millisecond clock: a 32-bit count that wraps (its signed reading turns negative
// after about 24.8 days and wraps to 0 after about 49.7 days).
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int32_t timeGetTime() = 0;
  // Lets up to ms milliseconds of this clock pass inside the blocking wait, which may end it
  // sooner. Every wait sleeps through here, so that a clock of a test's own can stand in.
  virtual void WaitUpTo(std::int32_t ms, const BlockingWait& wait) = 0;
};

// The monotonic clock of this machine.
class SystemClock final : public Clock {
 public:
  std::int32_t timeGetTime() override;
  void WaitUpTo(std::int32_t ms, const BlockingWait& wait) override;
};

// Timer resolution requests: between the two calls a sleeping wait is woken on time. On Windows
// they ask the system timer for ms-millisecond ticks. On Linux the monotonic clock already reads
// to the millisecond; what a busy machine spoils is how soon a sleeping wait is woken. So between
// the two calls the calling thread asks the scheduler for its shortest time slices (at the same
// priority and share of the processor), which lets it run sooner when its sleep ends rather than
// after another program's slice. Kernels without such slices ignore the request.
void timeBeginPeriod(unsigned ms);
void timeEndPeriod(unsigned ms);

// A wait that began at a clock reading and ends once limitMs have passed. Compares by unsigned
// difference, so it ends correctly when the clock wraps during it.
class Deadline {
 public:
  Deadline(std::int32_t start, std::int32_t limitMs) : start_(start), limitMs_(limitMs) {}

  bool PassedAt(std::int32_t reading) const {
    return limitMs_ <= 0 || Since(start_, reading) >= static_cast<std::uint32_t>(limitMs_);
  }

  // The milliseconds from a reading before the deadline until the deadline.
  std::int32_t LeftAt(std::int32_t reading) const {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(limitMs_) - Since(start_, reading));
  }

  // Milliseconds from one reading to a later one, across a wrap.
  static std::uint32_t Since(std::int32_t from, std::int32_t to) {
    return static_cast<std::uint32_t>(to) - static_cast<std::uint32_t>(from);
  }

 private:
  std::int32_t start_;
  std::int32_t limitMs_;
};

// The ms from a clock reading to a later one, when there is one.
inline std::optional<std::int32_t> MsSince(std::int32_t start, std::optional<std::int32_t> reading) {
  if (!reading) return std::nullopt;
  return static_cast<std::int32_t>(Deadline::Since(start, *reading));
}
