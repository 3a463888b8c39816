#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "serial/simulated_car.h"

// Faults the simulated adaptor can be given, written comma-separated after "sim:".
struct SimFaults {
  bool dead = false;       // dead: nothing is echoed
  bool noDtr = false;      // no-dtr: DTR alone does not power the adaptor
  bool noRts = false;      // no-rts: RTS alone does not power the adaptor
  bool noise = false;      // noise: one byte of each written block comes back altered
  bool stdRates = false;   // std-rates: rates that are not standard are refused
  bool extraByte = false;  // extra-byte: a byte of its own after each written block
  std::optional<double> lineRate;             // rate=N: the line runs at N baud whatever is set
  std::optional<std::int32_t> unplugAfterMs;  // unplug=MS: the adaptor vanishes MS ms after the first open
  std::optional<std::int32_t> latencyMs;      // latency=MS: each byte comes back MS ms after it left
  std::optional<std::int32_t> timerMs;        // timer=MS: what comes back is handed on every MS ms
  std::optional<std::int32_t> loseEvery;      // lose-every=N: every Nth byte that comes back is lost
  std::optional<std::int32_t> stuckHighBit;   // stuck-high=B: bit B of every byte back reads 1
  std::optional<std::int32_t> stuckLowBit;    // stuck-low=B: bit B of every byte back reads 0
  std::optional<std::int32_t> deadAfter;      // dead-after=N: nothing comes back after N bytes
  CarFaults car;                              // car and its faults: on a car's data line
};

// Parses "dead,rate=7500"; the empty text means no faults. A fault of the car puts the adaptor on
// a car. Raises std::invalid_argument naming the fault it does not know.
SimFaults ParseSimFaults(std::string_view text);
