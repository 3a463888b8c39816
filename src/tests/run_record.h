#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// What a run found, for callers that report more than the panel shows.
enum class PhaseOutcome { Passed, TransmitTimeout, ReceiveTimeout, CompareError, PortNotOpen };

struct PhaseRecord {
  int phase;  // 1 to 3
  PhaseOutcome outcome;
};

struct RateRecord {
  std::int32_t rate;
  std::vector<PhaseRecord> phases;
};

enum class SpeedOutcome { Passed, NoData, OutOfRange, PortNotOpen };

struct SpeedRecord {
  SpeedOutcome outcome;
  std::optional<float> measuredRate;
};

enum class Verdict { Passed, Failed, Halted, RateRefused };

struct RunRecord {
  std::vector<RateRecord> rates;
  std::optional<SpeedRecord> speed;  // the fast test's transfer-speed check
  Verdict verdict = Verdict::Halted;
};
