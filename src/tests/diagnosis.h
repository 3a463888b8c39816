#pragma once

#include <string>
#include <vector>

#include "serial/port_identity.h"
#include "tests/run_record.h"

// One fault a failed run shows, and what to do about it, in plain words.
struct Diagnosis {
  std::string cause;
  std::string fix;
};

// Every fault the run shows, the one that stops the car first first; none when every phase
// passed. A run that ended on a refused rate has one, as has one halted after a phase failed.
// A failure that another fault explains (a phase too slow on a line measured slow) is not
// named twice.
std::vector<Diagnosis> Diagnose(const RunRecord& record, const PortIdentity& identity);
