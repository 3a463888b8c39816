#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "adaptor_tests/block_comparison.h"
#include "adaptor_tests/transfer_speed.h"
#include "car_link/car_link_record.h"

// What a run found, for callers that report more than the panel shows.
enum class PhaseOutcome { Passed, TransmitTimeout, ReceiveTimeout, CompareError, PortNotOpen };

// How a block that came back whole differs from the block sent.
struct ByteMismatch {
  std::int32_t count;       // bytes that differ
  std::int32_t firstIndex;  // the first that differs, counted from 0
  std::uint8_t sent;
  std::uint8_t received;
};

// When the bytes of a block came back, and what came after: times in ms from the block handed to
// the port.
struct BlockTiming {
  std::optional<std::int32_t> firstByteMs;
  std::optional<std::int32_t> lastByteMs;
  // Bytes that came once the exchange was over (its own late echo, or bytes the adaptor adds),
  // until the line fell quiet, and when the last of them came.
  std::int32_t bytesAfter = 0;
  std::optional<std::int32_t> lastAfterMs;
};

struct PhaseRecord {
  int phase;  // 1 to 3
  PhaseOutcome outcome;
  // Bytes waiting when the receive ended: the whole block, fewer after a receive time-out; 0
  // when the phase never got to receive.
  std::int32_t bytesReceived = 0;
  std::optional<ByteMismatch> mismatch = std::nullopt;  // with a compare error
  BlockTiming timing = {};
  // The bytes received against those sent; nothing when the phase never got to receive.
  std::optional<BlockComparison> comparison = std::nullopt;
};

struct RateRecord {
  std::int32_t rate;
  std::vector<PhaseRecord> phases;
};

// CompareError: the rate passed, but the block did not come back as it was sent.
enum class SpeedOutcome { Passed, NoData, OutOfRange, PortNotOpen, CompareError };

struct SpeedRecord {
  SpeedOutcome outcome;
  std::optional<float> measuredRate;
  // Bytes counted back by the end of the measurement; its times; what came after it, during the
  // closing pause; and the block as it came back against the one sent.
  std::int32_t bytesReceived = 0;
  BlockTiming timing = {};
  std::optional<BlockComparison> comparison = std::nullopt;
};

// The rate the line ran at between the first byte back and the last: what a late first byte
// (latency) does not change. Nothing without two bytes apart in time.
std::optional<double> LineRate(std::int32_t bytesReceived, const BlockTiming& timing);

// A rate the port would not take, and the rate it reads back afterwards (nothing when it
// cannot be read). Rate 0: no rate was in force, because the port refused the one set before
// the run (8192 when it was opened).
struct RateRefusal {
  std::int32_t rate;
  std::optional<std::uint32_t> readBack;
};

enum class Verdict { Passed, Failed, Halted, RateRefused };

struct RunRecord {
  std::vector<RateRecord> rates;
  std::optional<SpeedRecord> speed;  // the fast test's transfer-speed check
  Verdict verdict = Verdict::Halted;
  std::optional<RateRefusal> refusal = std::nullopt;  // with verdict RateRefused
  bool portLost = false;  // the port went away during the run (a pulled cable)
  std::optional<CarLinkRecord> car = std::nullopt;  // the car link test's findings; no rates then
};

// The port would not take the car's rate: 8192, or no rate at all because it refused 8192 as
// it opened. Such an adaptor cannot talk to the car.
inline bool RefusesCarRate(const RunRecord& record) {
  return record.refusal && (record.refusal->rate == kVehicleBaud || record.refusal->rate == 0);
}
