#include <gtest/gtest.h>

#include "serial/MSComm.h"
#include "support/simulated_run.h"

namespace {

const std::string CRLF = "\r\n";

std::string LoopbackPhasePassed(int phase, const std::string& powerText) {
  const std::string p = std::to_string(phase);
  return "Beginning Phase" + p + " COM test:" + CRLF + powerText + CRLF +
         "-->Sending Test Data..." + CRLF + " >>DTR Power Phase" + p + " Test Passed" + CRLF + CRLF;
}

std::string SpeedCheckHeader() {
  return "Beginning Phase4 COM test:" + CRLF + " Checking 8192 BAUD Compatability" + CRLF +
         " -->Enabling RTS + DTS power..." + CRLF + " -->Setting BAUD rate to 8192" + CRLF +
         " >>Baud set to 8192" + CRLF + " -->Running Transfer Speed Test:" + CRLF +
         "    This will take several seconds..." + CRLF;
}

TEST(FastTestRun, GoodAdaptorWritesTheWholeReport) {
  SimulatedRun run("sim");
  const RunRecord record = run.Run(TestKind::Fast);

  const std::string expected =
      "Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to  8192:" + CRLF +
      " >>Baud set to 8192" + CRLF + CRLF +
      LoopbackPhasePassed(1, "-->Enabling DTR only power...") +
      LoopbackPhasePassed(2, "-->Enabling RTS only power...") +
      LoopbackPhasePassed(3, "-->Enabling RTS + DTS power...") + SpeedCheckHeader() +
      " >>Transfer Speed Good! " + CRLF + "   Expected   8192" + CRLF + "   Measured   8192" +
      CRLF + "   Acceptable Range = 7782 to 8600" + CRLF + "   Difference 0.0%" + CRLF + CRLF +
      "Fast Test complete, all phases passed";
  EXPECT_EQ(run.panel.report, expected);
  EXPECT_EQ(run.panel.status, "Fast Test Passed!");
  EXPECT_EQ(run.panel.colour, kGreen);
  EXPECT_EQ(run.panel.baudCaption, " 8192 Baud");
  EXPECT_EQ(run.panel.beeps, 0);
  EXPECT_EQ(run.panel.busyCalls, (std::vector<bool>{true, false}));
  EXPECT_EQ(record.verdict, Verdict::Passed);
}

// How each fault of the adaptor shows: a text in the report, the baud caption, the beeps, and
// which power phases failed.
struct FaultCase {
  const char* device;
  std::string reportText;
  const char* baudCaption;
  int beeps;
  std::vector<PhaseOutcome> phases;
};

class FastTestFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FastTestFault, ShowsInTheReportAndTurnsTheVerdictRed) {
  const FaultCase& fault = GetParam();
  SimulatedRun run(fault.device);
  const RunRecord record = run.Run(TestKind::Fast);
  EXPECT_NE(run.panel.report.find(fault.reportText), std::string::npos) << run.panel.report;
  EXPECT_EQ(run.panel.baudCaption, fault.baudCaption);
  EXPECT_EQ(run.panel.beeps, fault.beeps);
  ASSERT_EQ(record.rates[0].phases.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(record.rates[0].phases[i].outcome, fault.phases[i]);
  EXPECT_TRUE(run.panel.report.ends_with("Fast Test complete, errors occurred"));
  EXPECT_EQ(run.panel.status, "Fast Test Failed!");
  EXPECT_EQ(run.panel.colour, kRed);
}

constexpr PhaseOutcome kPassed = PhaseOutcome::Passed;
constexpr PhaseOutcome kNoEcho = PhaseOutcome::ReceiveTimeout;

INSTANTIATE_TEST_SUITE_P(
    Adaptors, FastTestFault,
    ::testing::Values(
        FaultCase{"sim:dead",
                  SpeedCheckHeader() + " >>Failed to receive data.  Verify that the PC serial " +
                      "port is correctly set-up" + CRLF + "Exiting the test procedure" + CRLF +
                      CRLF,
                  "Baud Error", 1, {kNoEcho, kNoEcho, kNoEcho}},
        FaultCase{"sim:no-dtr", " >>Timeout error receiving data, Phase1 failed" + CRLF + CRLF,
                  " 8192 Baud", 0, {kNoEcho, kPassed, kPassed}},
        FaultCase{"sim:noise", " >>Error Comparing data, Phase1 failed" + CRLF + CRLF,
                  " 8192 Baud", 0,
                  {PhaseOutcome::CompareError, PhaseOutcome::CompareError,
                   PhaseOutcome::CompareError}},
        FaultCase{"sim:rate=7500",
                  " >>Transfer Speed Test Failed! " + CRLF + "   Expected   8192" + CRLF +
                      "   Measured   7499" + CRLF + "   Acceptable Range = 7782 to 8600" + CRLF +
                      "   Difference -8.5%" + CRLF + CRLF,
                  "Baud Rate Error", 1, {kPassed, kPassed, kPassed}}));

struct SpeedBoundary {
  int elapsedMs;
  const char* measured;
  const char* status;
};

class FastTestSpeedBoundary : public ::testing::TestWithParam<SpeedBoundary> {};

TEST_P(FastTestSpeedBoundary, RateAcceptedExactlyWithinTheRange) {
  SimulatedRun run(SimulatedRun::SimulatedLineForElapsed(GetParam().elapsedMs));
  run.Run(TestKind::Fast);
  EXPECT_NE(run.panel.report.find(std::string("   Measured   ") + GetParam().measured + CRLF),
            std::string::npos)
      << run.panel.report;
  EXPECT_NE(std::find(run.panel.statuses.begin(), run.panel.statuses.end(), GetParam().status),
            run.panel.statuses.end());
}

INSTANTIATE_TEST_SUITE_P(Elapsed, FastTestSpeedBoundary,
                         ::testing::Values(SpeedBoundary{2391, "8601", "Transfer Rate Error"},
                                           SpeedBoundary{2392, "8598", "Phase4 Passed"},
                                           SpeedBoundary{2510, "8192", "Phase4 Passed"},
                                           SpeedBoundary{2641, "7784", "Phase4 Passed"},
                                           SpeedBoundary{2642, "7781", "Transfer Rate Error"}));

// The block must be counted at exactly 2048: on a line of 30000 baud three bytes come back in
// some milliseconds, and one more byte behind the block makes the count go from 2046 to 2049.
// The wait then sleeps to the deadline instead of polling.
TEST(FastTestRun, ACountThatPassesTheBlockSizeUnreadFailsAtTheDeadline) {
  for (const bool byteBehindTheBlock : {false, true}) {
    SimulatedRun run("sim:rate=30000");
    std::int32_t phase4Start = 0;
    run.onRepaint = [&] {
      if (phase4Start == 0 && run.panel.report.ends_with("several seconds..." + CRLF)) {
        phase4Start = run.clock.Reading();
        if (byteBehindTheBlock) run.port.MSComm1.SetOutput(ByteBuffer{0});
      }
    };
    const RunRecord record = run.Run(TestKind::Fast);
    ASSERT_TRUE(record.speed) << byteBehindTheBlock;
    EXPECT_EQ(record.speed->outcome,
              byteBehindTheBlock ? SpeedOutcome::NoData : SpeedOutcome::OutOfRange);
    EXPECT_EQ(run.panel.status, "Fast Test Failed!");
    // The closing pause of 500 ms follows phase 4.
    EXPECT_EQ(run.clock.Reading() - phase4Start, (byteBehindTheBlock ? 4096 : 693) + 500)
        << byteBehindTheBlock;
  }
}

TEST(FastTestRun, RefusedRateEndsWithoutVerdict) {
  SimulatedRun run("sim:std-rates");
  ASSERT_EQ(run.port.state.CurrentBaud, 0);
  const RunRecord record = run.Run(TestKind::Fast);
  EXPECT_EQ(run.panel.report,
            "Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to  0:" + CRLF +
                " >>Failed to set COM baud rate.  Verify that the PC serial port is correctly "
                "set-up" + CRLF + CRLF + "Exiting the test procedure.");
  EXPECT_EQ(run.panel.status, "Unable to set BAUD");
  EXPECT_EQ(run.panel.baudCaption, "Baud Error");
  EXPECT_EQ(run.panel.beeps, 1);
  EXPECT_EQ(run.panel.colour, kWhite);
  EXPECT_EQ(record.verdict, Verdict::RateRefused);
}

TEST(FastTestRun, PulledCableFailsThePhasesThatFollowAndStillGivesAVerdict) {
  SimulatedRun run("sim:unplug=1000");
  const RunRecord record = run.Run(TestKind::Fast);
  EXPECT_EQ(record.rates[0].phases[0].outcome, PhaseOutcome::Passed);
  EXPECT_EQ(record.rates[0].phases[1].outcome, PhaseOutcome::PortNotOpen);
  EXPECT_EQ(record.rates[0].phases[2].outcome, PhaseOutcome::PortNotOpen);
  EXPECT_EQ(record.speed->outcome, SpeedOutcome::PortNotOpen);
  EXPECT_NE(run.panel.report.find(" >>COM port is not open, Phase3 failed" + CRLF + CRLF),
            std::string::npos);
  EXPECT_NE(run.panel.report.find(" >>COM port is not open, Phase4 failed" + CRLF + CRLF),
            std::string::npos);
  EXPECT_EQ(run.panel.status, "Fast Test Failed!");
  EXPECT_EQ(record.verdict, Verdict::Failed);
}

TEST(FastTestRun, StopDuringALoopbackPauseEndsAfterThatPhase) {
  for (const char* power : {"-->Enabling DTR only power...", "-->Enabling RTS + DTS power..."}) {
    SimulatedRun run("sim");
    run.StopDuringPauseAfter(power + CRLF);
    const RunRecord record = run.Run(TestKind::Fast);
    EXPECT_TRUE(run.panel.report.ends_with("Test Passed" + CRLF + CRLF + "*User Halted Test*"))
        << power;
    EXPECT_EQ(run.panel.report.find("Phase4"), std::string::npos) << power;
    EXPECT_EQ(run.panel.colour, kWhite);
    EXPECT_EQ(record.verdict, Verdict::Halted);
  }
}

TEST(FastTestRun, StopDuringTheClosingPauseChangesNothing) {
  SimulatedRun run("sim");
  run.StopDuringPauseAfter("   Difference 0.0%" + CRLF + CRLF);
  run.Run(TestKind::Fast);
  EXPECT_TRUE(run.panel.report.ends_with("Fast Test complete, all phases passed"));
}

TEST(FastTestRun, PortIsSetBackToTheRateInForceAfterTheRun) {
  SimulatedRun run("sim");
  ASSERT_TRUE(run.port.ComSetup().SetBaud(19200));
  run.port.state.CurrentBaud = 19200;
  run.Run(TestKind::Fast);
  DCB record{};
  ASSERT_NE(GetCommState(run.port.MSComm1.CommID(), record), 0);
  EXPECT_EQ(record.BaudRate, 19200u);
}

}  // namespace
