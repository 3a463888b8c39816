#pragma once

#include <cstdint>

#include "common/aldl_frame.h"
#include "serial/serial_device.h"

inline constexpr std::int16_t kSpeedBlockSize = 2048;

struct TransferSpeed {
  float measuredRate;
  bool good;  // within 7782 to 8600 baud, both included
};

// The rate a 2048-byte loopback that took elapsedMs means: 2048 ten-bit characters over the
// time less a fixed 10 ms correction. A block back within the correction cannot have crossed a
// real line; it counts as 1 ms, far too fast, instead of dividing by zero or less.
TransferSpeed TransferSpeedFromElapsed(std::uint32_t elapsedMs);

// The speed check's block: 2048 bytes from 0 to 254, drawn from a generator seeded with seed.
ByteBuffer RandomSpeedBlock(std::int32_t seed);
