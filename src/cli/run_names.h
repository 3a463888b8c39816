#pragma once

#include <nlohmann/json.hpp>

#include "tests/run_control.h"
#include "tests/run_record.h"

// The words for a run's outcomes that scripts read, in the run's JSON and the bench's log.
NLOHMANN_JSON_SERIALIZE_ENUM(TestKind, {{TestKind::Fast, "fast"}, {TestKind::Extended, "extended"}})

NLOHMANN_JSON_SERIALIZE_ENUM(PhaseOutcome, {{PhaseOutcome::Passed, "passed"},
                                            {PhaseOutcome::TransmitTimeout, "transmit-timeout"},
                                            {PhaseOutcome::ReceiveTimeout, "receive-timeout"},
                                            {PhaseOutcome::CompareError, "compare-error"},
                                            {PhaseOutcome::PortNotOpen, "port-not-open"}})

NLOHMANN_JSON_SERIALIZE_ENUM(SpeedOutcome, {{SpeedOutcome::Passed, "passed"},
                                            {SpeedOutcome::NoData, "no-data"},
                                            {SpeedOutcome::OutOfRange, "out-of-range"},
                                            {SpeedOutcome::PortNotOpen, "port-not-open"}})

NLOHMANN_JSON_SERIALIZE_ENUM(Verdict, {{Verdict::Passed, "passed"},
                                       {Verdict::Failed, "failed"},
                                       {Verdict::Halted, "halted"},
                                       {Verdict::RateRefused, "rate-refused"}})
