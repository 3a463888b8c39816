#pragma once

#include <functional>
#include <optional>

#include "adaptor_tests/run_record.h"

class AdaptorTests;
class PortContext;
class TestPanel;

enum class TestKind { Fast, Extended, Car };

// Start Test: runs the chosen test with the controls locked, or, without a ready port, beeps and
// says so and runs nothing (no record then). However the run ends, the port is set back to the
// rate in force, so that what the Baud Select menu and the baud caption show is the rate the
// port runs at; a caption that tells of a rate fault stays.
std::optional<RunRecord> StartTest(const std::function<RunRecord()>& test, PortContext& port, TestPanel& panel);

// Stop Test: the running test ends at its next check.
void StopTest(AdaptorTests& tests);
