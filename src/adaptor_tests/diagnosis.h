#pragma once

#include <string>
#include <vector>

#include "adaptor_tests/run_record.h"
#include "common/diagnosis.h"
#include "serial/port_identity.h"

// Every fault the run shows, the one that stops the car first first; none when every phase
// passed. A run that ended on a refused rate has one, as has one halted after a phase failed.
// A failure that another fault explains (a phase too slow on a line measured slow) is not
// named twice.
// A car link test's record is diagnosed by the car link's own rules, but for a lost port and a
// refused rate, which are the adaptor's. The reader decides how the program's own controls are
// named.
std::vector<Diagnosis> Diagnose(const RunRecord& record, const PortIdentity& identity,
                                Reader reader = Reader::Terminal);
