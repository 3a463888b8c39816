#pragma once

#include "tests/run_record.h"

// What the exit status tells a script.
inline constexpr int kExitPassed = 0;
inline constexpr int kExitErrors = 1;     // the test ran and errors occurred
inline constexpr int kExitNoVerdict = 2;  // halted, a rate refused, or the port could not be opened
inline constexpr int kExitUsage = 64;

inline int ExitStatusOf(Verdict verdict) {
  switch (verdict) {
    case Verdict::Passed:
      return kExitPassed;
    case Verdict::Failed:
      return kExitErrors;
    case Verdict::Halted:
    case Verdict::RateRefused:
      break;
  }
  return kExitNoVerdict;
}
