#include <gtest/gtest.h>

#include "serial/MSComm.h"
#include "support/simulated_run.h"

namespace {

const std::string CRLF = "\r\n";

std::string RateHeader(const std::string& rate) {
  return "Executing Extended Test procedure" + CRLF + "Setting Baud to  " + rate +
         ": >>Baud set to " + rate + CRLF + CRLF;
}

std::string PhasePassed(int phase, const std::string& powerText) {
  const std::string p = std::to_string(phase);
  return "Beginning Phase" + p + " COM test:" + CRLF + powerText + CRLF +
         "-->Sending Test Data..." + CRLF + " >>DTR Power Phase" + p + " Test Passed" + CRLF + CRLF;
}

const std::string kFirstRate = RateHeader("4800") + PhasePassed(1, "-->Enabling DTR only power...") +
                               PhasePassed(2, "-->Enabling RTS only power...") +
                               PhasePassed(3, "-->Enabling RTS + DTS power...");

// How a run shows: a text in the report, the baud caption, the verdict with its colour, and the
// first phase at the last rate reached; the port is back at the rate in force. A good adaptor
// passes every phase, each at the rate it announced: at 19200 and above a line left at 8192
// cannot return 256 bytes in the 200 ms allowed. The floor rows: at 115200 baud each send and
// receive has the floor of 200 ms, which a line that sends 256 bytes in 150 ms meets and one
// that takes 250 ms does not.
struct ExtendedCase {
  const char* name;
  const char* device;
  std::string reportText;
  const char* baudCaption;
  Verdict verdict;
  PhaseOutcome lastRatePhase1;
};

void PrintTo(const ExtendedCase& c, std::ostream* out) { *out << c.name; }

class ExtendedTestCase : public ::testing::TestWithParam<ExtendedCase> {};

TEST_P(ExtendedTestCase, ShowsInTheReportAndTheVerdict) {
  const ExtendedCase& c = GetParam();
  SimulatedRun run(c.device);
  const RunRecord record = run.Run(TestKind::Extended);
  EXPECT_NE(run.panel.report.find(c.reportText), std::string::npos) << run.panel.report;
  EXPECT_EQ(run.panel.baudCaption, c.baudCaption);
  EXPECT_EQ(record.verdict, c.verdict);
  EXPECT_EQ(run.panel.colour, c.verdict == Verdict::Passed   ? kGreen
                              : c.verdict == Verdict::Failed ? kRed
                                                             : kWhite);
  EXPECT_EQ(record.rates.back().phases.at(0).outcome, c.lastRatePhase1);
  DCB line{};
  if (run.port.MSComm1.PortOpen() && run.port.state.CurrentBaud != 0 &&
      GetCommState(run.port.MSComm1.CommID(), line) != 0) {
    EXPECT_EQ(line.BaudRate, 8192u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Adaptors, ExtendedTestCase,
    ::testing::Values(
        ExtendedCase{"Good", "sim", kFirstRate + RateHeader("8192"), " 8192 Baud", Verdict::Passed,
                     PhaseOutcome::Passed},
        ExtendedCase{"NoDtr", "sim:no-dtr", "Extended Test complete, errors occurred", " 8192 Baud", Verdict::Failed,
                     PhaseOutcome::ReceiveTimeout},
        ExtendedCase{"RefusesTheRateAfter4800", "sim:std-rates",
                     kFirstRate + "Executing Extended Test procedure" + CRLF +
                         "Setting Baud to  8192:Failed to set COM baud rate.  Verify that the PC "
                         "serial port is correctly set-up" + CRLF + CRLF + "Exiting the test procedure.",
                     "Baud Error", Verdict::RateRefused, PhaseOutcome::Passed},
        ExtendedCase{"SendIn150Ms", "sim:rate=17000", "Extended Test complete, all phases passed",
                     " 8192 Baud", Verdict::Passed, PhaseOutcome::Passed},
        ExtendedCase{"SendIn250Ms", "sim:rate=10240", " >>Timeout error transmitting data. Phase1 failed",
                     " 8192 Baud", Verdict::Failed, PhaseOutcome::TransmitTimeout},
        // A port that is gone refused no rate: every later rate says so.
        ExtendedCase{"PulledCable", "sim:unplug=2000",
                     "Setting Baud to  8192: >>COM port is not open" + CRLF + CRLF + "Beginning Phase1",
                     "Error Setting Baud", Verdict::Failed, PhaseOutcome::PortNotOpen}),
    [](const auto& info) { return std::string(info.param.name); });

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

const std::string kPhase1Power = "-->Enabling DTR only power..." + CRLF;
const std::string kPhase2Power = "-->Enabling RTS only power..." + CRLF;
const std::string kPhase3Power = "-->Enabling RTS + DTS power..." + CRLF;
std::string HaltedAfter(int phase) {
  return "Phase" + std::to_string(phase) + " Test Passed" + CRLF + CRLF + "*User Halted Test*";
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StopDuringAPause,
    ::testing::Values(
        StopCase{"FastPhase1", TestKind::Fast, kPhase1Power, 1, HaltedAfter(1), Verdict::Halted},
        StopCase{"FastPhase3", TestKind::Fast, kPhase3Power, 1, HaltedAfter(3), Verdict::Halted},
        StopCase{"FastClosingPause", TestKind::Fast, "   Difference 0.0%" + CRLF + CRLF, 1,
                 "Fast Test complete, all phases passed", Verdict::Passed},
        StopCase{"ExtendedBeforeTheRun", TestKind::Extended, "", 0,
                 "Extended Test complete, all phases passed", Verdict::Passed},
        StopCase{"ExtendedPhase1", TestKind::Extended, kPhase1Power, 1, HaltedAfter(1), Verdict::Halted},
        StopCase{"ExtendedPhase2", TestKind::Extended, kPhase2Power, 1, HaltedAfter(2), Verdict::Halted},
        StopCase{"ExtendedPhase3", TestKind::Extended, kPhase3Power, 1,
                 kFirstRate + "Test Halted", Verdict::Halted},
        StopCase{"ExtendedAfterPhase3", TestKind::Extended, " >>DTR Power Phase3 Test Passed" + CRLF + CRLF,
                 1, kFirstRate + "Test Halted", Verdict::Halted},
        StopCase{"ExtendedLastRatesPhase3", TestKind::Extended, kPhase3Power, 6,
                 "Extended Test complete, all phases passed", Verdict::Passed}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
