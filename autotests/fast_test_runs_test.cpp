#include <gtest/gtest.h>

#include <algorithm>

#include "serial/MSComm.h"
#include "support/simulated_run.h"

namespace {

const std::string CRLF = "\r\n";

std::string PhasePassed(int phase, const std::string& powerText) {
  const std::string p = std::to_string(phase);
  return "Beginning Phase" + p + " COM test:" + CRLF + powerText + CRLF +
         "-->Sending Test Data..." + CRLF + " >>DTR Power Phase" + p + " Test Passed" + CRLF + CRLF;
}

const std::string kSpeedCheckHeader =
    "Beginning Phase4 COM test:" + CRLF + " Checking 8192 BAUD Compatability" + CRLF +
    " -->Enabling RTS + DTS power..." + CRLF + " -->Setting BAUD rate to 8192" + CRLF +
    " >>Baud set to 8192" + CRLF + " -->Running Transfer Speed Test:" + CRLF +
    "    This will take several seconds..." + CRLF;

std::string SpeedResult(bool good, const std::string& measured, const std::string& difference) {
  return (good ? " >>Transfer Speed Good! " : " >>Transfer Speed Test Failed! ") + CRLF +
         "   Expected   8192" + CRLF + "   Measured   " + measured + CRLF +
         "   Acceptable Range = 7782 to 8600" + CRLF + "   Difference " + difference + CRLF + CRLF;
}

// How a run shows: a text in the report (the whole report for a good adaptor), the baud caption,
// every power phase's outcome, the verdict with its colour; the controls are locked during it,
// and the port is back at the rate in force (0: the rate selected).
struct FastCase {
  const char* name;
  std::string device;
  std::int32_t rateInForce;
  std::string reportText;
  const char* baudCaption;
  std::vector<PhaseOutcome> phases;
  Verdict verdict;
};

void PrintTo(const FastCase& c, std::ostream* out) { *out << c.name; }

class FastTestCase : public ::testing::TestWithParam<FastCase> {};

TEST_P(FastTestCase, ShowsInTheReportAndTheVerdict) {
  const FastCase& c = GetParam();
  SimulatedRun run(c.device);
  if (c.rateInForce != 0) {
    ASSERT_TRUE(run.port.ComSetup().SetBaud(c.rateInForce));
    run.port.state.CurrentBaud = c.rateInForce;
  }
  const RunRecord record = run.Run(TestKind::Fast);
  EXPECT_NE(run.panel.report.find(c.reportText), std::string::npos) << run.panel.report;
  EXPECT_EQ(run.panel.baudCaption, c.baudCaption);
  std::vector<PhaseOutcome> phases;
  for (const RateRecord& rate : record.rates) {
    for (const PhaseRecord& phase : rate.phases) phases.push_back(phase.outcome);
  }
  EXPECT_EQ(phases, c.phases);
  EXPECT_EQ(record.verdict, c.verdict);
  EXPECT_EQ(run.panel.colour, c.verdict == Verdict::Passed   ? kGreen
                              : c.verdict == Verdict::Failed ? kRed
                                                             : kWhite);
  if (c.verdict != Verdict::RateRefused) {
    EXPECT_TRUE(run.panel.report.ends_with(c.verdict == Verdict::Passed
                                               ? "Fast Test complete, all phases passed"
                                               : "Fast Test complete, errors occurred"));
  }
  EXPECT_EQ(run.panel.busyCalls, (std::vector<bool>{true, false}));
  DCB line{};
  if (run.port.MSComm1.PortOpen() && run.port.state.CurrentBaud != 0 &&
      GetCommState(run.port.MSComm1.CommID(), line) != 0) {
    EXPECT_EQ(line.BaudRate, static_cast<std::uint32_t>(run.port.state.CurrentBaud));
  }
}

constexpr PhaseOutcome kPassed = PhaseOutcome::Passed;
constexpr PhaseOutcome kNoEcho = PhaseOutcome::ReceiveTimeout;
constexpr PhaseOutcome kGarbled = PhaseOutcome::CompareError;
constexpr PhaseOutcome kSendTimeout = PhaseOutcome::TransmitTimeout;
constexpr PhaseOutcome kGone = PhaseOutcome::PortNotOpen;

// The speed rows: 2048 bytes back in 2392 to 2641 ms is within 7782 to 8600 baud. The floor
// rows: at 57600 baud each send and receive has the floor of 100 ms, which a line that sends
// 256 bytes in 80 ms meets and one that takes 150 ms does not.
INSTANTIATE_TEST_SUITE_P(
    Adaptors, FastTestCase,
    ::testing::Values(
        FastCase{"Good", "sim", 0,
                 "Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to  8192:" + CRLF +
                     " >>Baud set to 8192" + CRLF + CRLF + PhasePassed(1, "-->Enabling DTR only power...") +
                     PhasePassed(2, "-->Enabling RTS only power...") +
                     PhasePassed(3, "-->Enabling RTS + DTS power...") + kSpeedCheckHeader +
                     SpeedResult(true, "8192", "0.0%") + "Fast Test complete, all phases passed",
                 " 8192 Baud", {kPassed, kPassed, kPassed}, Verdict::Passed},
        FastCase{"RefusesTheRate", "sim:std-rates", 0,
                 "Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to  0:" + CRLF +
                     " >>Failed to set COM baud rate.  Verify that the PC serial port is correctly "
                     "set-up" + CRLF + CRLF + "Exiting the test procedure.",
                 "Baud Error", {}, Verdict::RateRefused},
        FastCase{"PulledCable", "sim:unplug=1000", 0, " >>COM port is not open, Phase4 failed" + CRLF,
                 "Error Setting Baud", {kPassed, kGone, kGone}, Verdict::Failed},
        FastCase{"Dead", "sim:dead", 0,
                 kSpeedCheckHeader + " >>Failed to receive data.  Verify that the PC serial port "
                     "is correctly set-up" + CRLF + "Exiting the test procedure" + CRLF + CRLF,
                 "Baud Error", {kNoEcho, kNoEcho, kNoEcho}, Verdict::Failed},
        FastCase{"NoDtr", "sim:no-dtr", 0, " >>Timeout error receiving data, Phase1 failed" + CRLF,
                 " 8192 Baud", {kNoEcho, kPassed, kPassed}, Verdict::Failed},
        FastCase{"Noise", "sim:noise", 0, " >>Error Comparing data, Phase1 failed" + CRLF,
                 " 8192 Baud", {kGarbled, kGarbled, kGarbled}, Verdict::Failed},
        FastCase{"SlowLine", "sim:rate=7500", 0, SpeedResult(false, "7499", "-8.5%"),
                 "Baud Rate Error", {kPassed, kPassed, kPassed}, Verdict::Failed},
        FastCase{"BackIn2391Ms", SimulatedRun::SimulatedLineForElapsed(2391), 0,
                 SpeedResult(false, "8601", "5.0%"), "Baud Rate Error", {kPassed, kPassed, kPassed},
                 Verdict::Failed},
        FastCase{"BackIn2392Ms", SimulatedRun::SimulatedLineForElapsed(2392), 0,
                 SpeedResult(true, "8598", "5.0%"), " 8192 Baud", {kPassed, kPassed, kPassed},
                 Verdict::Passed},
        FastCase{"BackIn2641Ms", SimulatedRun::SimulatedLineForElapsed(2641), 0,
                 SpeedResult(true, "7784", "-5.0%"), " 8192 Baud", {kPassed, kPassed, kPassed},
                 Verdict::Passed},
        FastCase{"BackIn2642Ms", SimulatedRun::SimulatedLineForElapsed(2642), 0,
                 SpeedResult(false, "7781", "-5.0%"), "Baud Rate Error", {kPassed, kPassed, kPassed},
                 Verdict::Failed},
        FastCase{"SendIn80MsAt57600", "sim:rate=32000", 57600, PhasePassed(3, "-->Enabling RTS + DTS power..."),
                 "Baud Rate Error", {kPassed, kPassed, kPassed}, Verdict::Failed},
        FastCase{"SendIn150MsAt57600", "sim:rate=17000", 57600,
                 " >>Timeout error transmitting data. Phase1 failed" + CRLF, "Baud Rate Error",
                 {kSendTimeout, kSendTimeout, kSendTimeout}, Verdict::Failed}),
    [](const auto& info) { return std::string(info.param.name); });

// The block must be counted at exactly 2048: on a line of 30000 baud three bytes come back in
// some milliseconds, and one more byte behind the block makes the count go from 2046 to 2049.
// The wait then sleeps to the deadline instead of polling; the closing pause of 500 ms follows.
TEST(FastTestRun, ACountThatPassesTheBlockSizeUnreadFailsAtTheDeadline) {
  for (const bool byteBehindTheBlock : {false, true}) {
    SCOPED_TRACE(byteBehindTheBlock ? "a byte behind the block" : "the block alone");
    SimulatedRun run("sim:rate=30000");
    std::int32_t phase4Start = 0;
    run.onRepaint = [&] {
      if (phase4Start == 0 && run.panel.report.ends_with("several seconds..." + CRLF)) {
        phase4Start = run.clock.Reading();
        if (byteBehindTheBlock) run.port.MSComm1.SetOutput(ByteBuffer{0});
      }
    };
    const RunRecord record = run.Run(TestKind::Fast);
    ASSERT_TRUE(record.speed);
    EXPECT_EQ(record.speed->outcome, byteBehindTheBlock ? SpeedOutcome::NoData : SpeedOutcome::OutOfRange);
    EXPECT_EQ(run.clock.Reading() - phase4Start, (byteBehindTheBlock ? 4096 : 693) + 500);
  }
}

TEST(FastTestRun, TheSpeedBlockIsRandomBytesThatNeverHold255) {
  SimulatedRun run("sim");
  run.Run(TestKind::Fast);
  const ByteBuffer block = run.port.MSComm1.Input();  // still waiting unread
  ASSERT_EQ(block.size(), 2048u);
  EXPECT_EQ(*std::ranges::max_element(block), 254);
}

}  // namespace
