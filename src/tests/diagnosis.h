#pragma once

#include <optional>
#include <string>

#include "serial/port_identity.h"
#include "tests/run_record.h"

// What a failed run most likely means, and what to do next, in plain words.
struct Diagnosis {
  std::string cause;
  std::string fix;
};

// Nothing when every phase passed. A run that ended on a refused rate has a diagnosis, as has
// one halted after a phase failed.
std::optional<Diagnosis> Diagnose(const RunRecord& record, const PortIdentity& identity);
