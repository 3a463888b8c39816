#include <gtest/gtest.h>

#include "link/clock.h"
#include "serial/port_selection.h"
#include "support/pty_pair.h"
#include "support/recording_panel.h"
#include "support/safe_port_map.h"
#include "tests/test_session.h"

namespace {

// A whole fast test against the machine's own clock, on a looped-back device.
RunRecord FastTestOn(const std::string& device, RecordingPanel& panel) {
  SystemClock clock;
  PortMap ports = SafePortMap([&clock] { return clock.timeGetTime(); });
  ports.Assign(1, device);
  TestSession session(ports, clock, panel, SleepingHooks(), ".");
  SelectComPort(session.Port(), 1);
  return *session.Start(TestKind::Fast);
}

// On the real clock only the verdict is checked: figures belong to the benchmark.
void ExpectPassedAt8192(const RunRecord& record, const RecordingPanel& panel) {
  EXPECT_EQ(record.verdict, Verdict::Passed) << panel.report;
  EXPECT_TRUE(panel.report.ends_with("Fast Test complete, all phases passed"));
}

TEST(EndToEnd, FastTestOnTheSimulatedAdaptor) {
  RecordingPanel panel;
  ExpectPassedAt8192(FastTestOn("sim", panel), panel);
}

TEST(EndToEnd, FastTestThroughALoopedBackPty) {
  PtyPair cable(PtyPair::Mode::Echo);
  RecordingPanel panel;
  ExpectPassedAt8192(FastTestOn(cable.SlavePath(), panel), panel);
}

}  // namespace
