#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "serial/MSComm.h"
#include "support/simulated_run.h"

namespace {

const std::string CRLF = "\r\n";
const std::string kPower[] = {"-->Enabling DTR only power..." + CRLF, "-->Enabling RTS only power..." + CRLF,
                              "-->Enabling RTS + DTS power..." + CRLF};

std::string PhasePassed(int phase) {
  const std::string p = std::to_string(phase);
  return "Beginning Phase" + p + " COM test:" + CRLF + kPower[phase - 1] + "-->Sending Test Data..." +
         CRLF + " >>DTR Power Phase" + p + " Test Passed" + CRLF + CRLF;
}

std::string RateHeader(const std::string& rate) {
  return "Executing Extended Test procedure" + CRLF + "Setting Baud to  " + rate +
         ": >>Baud set to " + rate + CRLF + CRLF;
}

const std::string kAllPhases = PhasePassed(1) + PhasePassed(2) + PhasePassed(3);
const std::string kFirstRate = RateHeader("4800") + kAllPhases;

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

// How a run shows: a text in the report (the whole report for a good adaptor's fast test), the
// baud caption, the power phases at the last rate reached, the verdict with its colour; the
// controls are locked during the run, and the port is back at the rate in force (0: the rate
// selected) afterwards.
struct RunCase {
  const char* name;
  TestKind kind;
  std::string device;
  std::int32_t rateInForce;
  std::string reportText;
  const char* baudCaption;
  std::vector<PhaseOutcome> lastRatePhases;
  Verdict verdict;
};

void PrintTo(const RunCase& c, std::ostream* out) { *out << c.name; }

class AdaptorTestRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(AdaptorTestRun, ShowsInTheReportAndTheVerdict) {
  const RunCase& c = GetParam();
  SimulatedRun run(c.device);
  if (c.rateInForce != 0) {
    ASSERT_TRUE(run.port.ComSetup().SetBaud(c.rateInForce));
    run.port.state.CurrentBaud = c.rateInForce;
  }
  const RunRecord record = run.Run(c.kind);
  EXPECT_NE(run.panel.report.find(c.reportText), std::string::npos) << run.panel.report;
  EXPECT_EQ(run.panel.baudCaption, c.baudCaption);
  std::vector<PhaseOutcome> phases;
  for (const PhaseRecord& phase : record.rates.empty() ? std::vector<PhaseRecord>{} : record.rates.back().phases) {
    phases.push_back(phase.outcome);
  }
  EXPECT_EQ(phases, c.lastRatePhases);
  EXPECT_EQ(record.verdict, c.verdict);
  const bool passed = c.verdict == Verdict::Passed;
  EXPECT_EQ(run.panel.colour, passed ? kGreen : c.verdict == Verdict::Failed ? kRed : kWhite);
  const std::string kind = c.kind == TestKind::Fast ? "Fast" : "Extended";
  if (c.verdict != Verdict::RateRefused) {
    EXPECT_TRUE(run.panel.report.ends_with(kind + " Test complete, " +
                                           (passed ? "all phases passed" : "errors occurred")));
    EXPECT_EQ(run.panel.status, kind + (passed ? " Test Passed!" : " Test Failed!"));
  }
  // Each rate fault beeps once and names itself in the baud caption.
  EXPECT_EQ(run.panel.beeps, std::string(c.baudCaption).starts_with("Baud") ? 1 : 0);
  EXPECT_EQ(run.panel.busyCalls, (std::vector<bool>{true, false}));
  DCB line{};
  if (run.port.MSComm1.PortOpen() && run.port.state.CurrentBaud != 0 &&
      GetCommState(run.port.MSComm1.CommID(), line) != 0) {
    EXPECT_EQ(line.BaudRate, static_cast<std::uint32_t>(run.port.state.CurrentBaud));
  }
}

constexpr TestKind kFast = TestKind::Fast;
constexpr TestKind kExtended = TestKind::Extended;
constexpr PhaseOutcome kPassed = PhaseOutcome::Passed;
constexpr PhaseOutcome kNoEcho = PhaseOutcome::ReceiveTimeout;
constexpr PhaseOutcome kGarbled = PhaseOutcome::CompareError;
constexpr PhaseOutcome kSendTimeout = PhaseOutcome::TransmitTimeout;
constexpr PhaseOutcome kGone = PhaseOutcome::PortNotOpen;
const std::vector<PhaseOutcome> kAllPassed = {kPassed, kPassed, kPassed};

// The speed rows: 2048 bytes back in 2392 to 2641 ms is within 7782 to 8600 baud. The floor
// rows: each send and receive has a floor, 100 ms in the fast test and 200 ms in the extended
// one, which holds at 57600 and 115200 baud: lines that send 256 bytes just within and just past
// it. A good adaptor passes every extended phase at the rate it announced: at 19200 and above a
// line left at 8192 cannot return 256 bytes in the 200 ms allowed.
INSTANTIATE_TEST_SUITE_P(
    Adaptors, AdaptorTestRun,
    ::testing::Values(
        RunCase{"FastGood", kFast, "sim", 0,
                "Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to  8192:" + CRLF +
                    " >>Baud set to 8192" + CRLF + CRLF + kAllPhases + kSpeedCheckHeader +
                    SpeedResult(true, "8192", "0.0%") + "Fast Test complete, all phases passed",
                " 8192 Baud", kAllPassed, Verdict::Passed},
        RunCase{"FastRefusesTheRate", kFast, "sim:std-rates", 0,
                "Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to  0:" + CRLF +
                    " >>Failed to set COM baud rate.  Verify that the PC serial port is correctly "
                    "set-up" + CRLF + CRLF + "Exiting the test procedure.",
                "Baud Error", {}, Verdict::RateRefused},
        RunCase{"FastPulledCable", kFast, "sim:unplug=1000", 0, " >>COM port is not open, Phase4 failed" + CRLF,
                "Error Setting Baud", {kPassed, kGone, kGone}, Verdict::Failed},
        RunCase{"FastDead", kFast, "sim:dead", 0,
                kSpeedCheckHeader + " >>Failed to receive data.  Verify that the PC serial port "
                    "is correctly set-up" + CRLF + "Exiting the test procedure" + CRLF + CRLF,
                "Baud Error", {kNoEcho, kNoEcho, kNoEcho}, Verdict::Failed},
        RunCase{"FastNoDtr", kFast, "sim:no-dtr", 0, " >>Timeout error receiving data, Phase1 failed" + CRLF,
                " 8192 Baud", {kNoEcho, kPassed, kPassed}, Verdict::Failed},
        RunCase{"FastNoise", kFast, "sim:noise", 0, " >>Error Comparing data, Phase1 failed" + CRLF,
                " 8192 Baud", {kGarbled, kGarbled, kGarbled}, Verdict::Failed},
        RunCase{"FastSlowLine", kFast, "sim:rate=7500", 0, SpeedResult(false, "7499", "-8.5%"),
                "Baud Rate Error", kAllPassed, Verdict::Failed},
        RunCase{"FastBackIn2391Ms", kFast, SimulatedRun::SimulatedLineForElapsed(2391), 0,
                SpeedResult(false, "8601", "5.0%"), "Baud Rate Error", kAllPassed, Verdict::Failed},
        RunCase{"FastBackIn2392Ms", kFast, SimulatedRun::SimulatedLineForElapsed(2392), 0,
                SpeedResult(true, "8598", "5.0%"), " 8192 Baud", kAllPassed, Verdict::Passed},
        RunCase{"FastBackIn2641Ms", kFast, SimulatedRun::SimulatedLineForElapsed(2641), 0,
                SpeedResult(true, "7784", "-5.0%"), " 8192 Baud", kAllPassed, Verdict::Passed},
        RunCase{"FastBackIn2642Ms", kFast, SimulatedRun::SimulatedLineForElapsed(2642), 0,
                SpeedResult(false, "7781", "-5.0%"), "Baud Rate Error", kAllPassed, Verdict::Failed},
        RunCase{"FastSendIn80MsAt57600", kFast, "sim:rate=32000", 57600, kAllPhases, "Baud Rate Error",
                kAllPassed, Verdict::Failed},
        RunCase{"FastSendIn150MsAt57600", kFast, "sim:rate=17000", 57600,
                " >>Timeout error transmitting data. Phase1 failed" + CRLF, "Baud Rate Error",
                {kSendTimeout, kSendTimeout, kSendTimeout}, Verdict::Failed},
        RunCase{"ExtendedGood", kExtended, "sim", 0, kFirstRate + RateHeader("8192"), " 8192 Baud",
                kAllPassed, Verdict::Passed},
        RunCase{"ExtendedNoDtr", kExtended, "sim:no-dtr", 0, " >>Timeout error receiving data, Phase1 failed",
                " 8192 Baud", {kNoEcho, kPassed, kPassed}, Verdict::Failed},
        RunCase{"ExtendedRefusesTheRateAfter4800", kExtended, "sim:std-rates", 0,
                kFirstRate + "Executing Extended Test procedure" + CRLF +
                    "Setting Baud to  8192:Failed to set COM baud rate.  Verify that the PC "
                    "serial port is correctly set-up" + CRLF + CRLF + "Exiting the test procedure.",
                "Baud Error", kAllPassed, Verdict::RateRefused},
        RunCase{"ExtendedSendIn150Ms", kExtended, "sim:rate=17000", 0,
                "Extended Test complete, all phases passed", " 8192 Baud", kAllPassed, Verdict::Passed},
        RunCase{"ExtendedSendIn250Ms", kExtended, "sim:rate=10240", 0,
                " >>Timeout error transmitting data. Phase1 failed", " 8192 Baud",
                {kSendTimeout, kSendTimeout, kSendTimeout}, Verdict::Failed},
        // A port that is gone refused no rate: every later rate says so.
        RunCase{"ExtendedPulledCable", kExtended, "sim:unplug=2000", 0,
                "Setting Baud to  8192: >>COM port is not open" + CRLF + CRLF + "Beginning Phase1",
                "Error Setting Baud", {kGone, kGone, kGone}, Verdict::Failed}),
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

// Stop Test during the pause after a report text (its nth occurrence; 0: before the run).
struct StopCase {
  const char* name;
  TestKind kind;
  std::string pauseAfter;
  int occurrence;
  std::string reportEnd;
  Verdict verdict;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

class StopDuringAPause : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopDuringAPause, EndsAtTheNextCheck) {
  const StopCase& c = GetParam();
  SimulatedRun run("sim");
  if (c.occurrence == 0) {
    StopTest(run.tests);
  } else {
    run.StopDuringPauseAfter(c.pauseAfter, c.occurrence);
  }
  const RunRecord record = run.Run(c.kind);
  EXPECT_TRUE(run.panel.report.ends_with(c.reportEnd)) << run.panel.report;
  EXPECT_EQ(record.verdict, c.verdict);
}

std::string HaltedAfter(int phase) {
  return "Phase" + std::to_string(phase) + " Test Passed" + CRLF + CRLF + "*User Halted Test*";
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StopDuringAPause,
    ::testing::Values(
        StopCase{"FastPhase1", kFast, kPower[0], 1, HaltedAfter(1), Verdict::Halted},
        StopCase{"FastPhase3", kFast, kPower[2], 1, HaltedAfter(3), Verdict::Halted},
        StopCase{"FastClosingPause", kFast, "   Difference 0.0%" + CRLF + CRLF, 1,
                 "Fast Test complete, all phases passed", Verdict::Passed},
        StopCase{"ExtendedBeforeTheRun", kExtended, "", 0, "Extended Test complete, all phases passed",
                 Verdict::Passed},
        StopCase{"ExtendedPhase1", kExtended, kPower[0], 1, HaltedAfter(1), Verdict::Halted},
        StopCase{"ExtendedPhase2", kExtended, kPower[1], 1, HaltedAfter(2), Verdict::Halted},
        StopCase{"ExtendedPhase3", kExtended, kPower[2], 1, kFirstRate + "Test Halted", Verdict::Halted},
        StopCase{"ExtendedAfterPhase3", kExtended, " >>DTR Power Phase3 Test Passed" + CRLF + CRLF, 1,
                 kFirstRate + "Test Halted", Verdict::Halted},
        StopCase{"ExtendedLastRatesPhase3", kExtended, kPower[2], 6,
                 "Extended Test complete, all phases passed", Verdict::Passed}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
