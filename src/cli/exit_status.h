#pragma once

#include <algorithm>

#include "adaptor_tests/run_record.h"

// What the exit status tells a script.
inline constexpr int kExitPassed = 0;
inline constexpr int kExitErrors = 1;     // a phase failed, whether or not the run reached a verdict
inline constexpr int kExitNoVerdict = 2;  // nothing failed and no verdict came: halted, a rate
                                          // refused, or the port could not be opened
inline constexpr int kExitUsage = 64;
inline constexpr int kExitOutputFailed = 74;  // what was to be printed did not reach standard output

inline bool AnyPhaseFailed(const RunRecord& record) {
  const auto failed = [](const PhaseRecord& phase) { return phase.outcome != PhaseOutcome::Passed; };
  const bool loopbackFailed = std::ranges::any_of(record.rates, [&](const RateRecord& rate) {
    return std::ranges::any_of(rate.phases, failed);
  });
  return loopbackFailed || (record.speed && record.speed->outcome != SpeedOutcome::Passed);
}

inline int ExitStatusOf(const RunRecord& record) {
  if (AnyPhaseFailed(record) || record.verdict == Verdict::Failed) return kExitErrors;
  return record.verdict == Verdict::Passed ? kExitPassed : kExitNoVerdict;
}
