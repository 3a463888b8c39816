#pragma once

#include "serial/comm_error.h"

// Runs one step on the serial control; an error it raises skips the step, and the caller judges
// the outcome afterwards by reading the port state back.
template <typename Step>
void SkipFailingStep(Step step) {
  try {
    step();
  } catch (const CommError&) {
  }
}
