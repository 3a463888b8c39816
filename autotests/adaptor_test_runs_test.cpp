#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "serial/MSComm.h"
#include "support/simulated_run.h"

namespace {

// With the fake clock a 2048-byte block is counted back 10 ms (the echo's latency) plus its line
// time after the clock was read for the start, at the first whole ms: a line at this rate makes
// the measurement see exactly elapsedMs.
std::string SimulatedLineForElapsed(int elapsedMs) {
  return "sim:rate=" + std::to_string(20480000.0 / (elapsedMs - 10.5));
}

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

using enum TestKind;
constexpr PhaseOutcome kPassed = PhaseOutcome::Passed;
constexpr PhaseOutcome kNoEcho = PhaseOutcome::ReceiveTimeout;
constexpr PhaseOutcome kGarbled = PhaseOutcome::CompareError;
constexpr PhaseOutcome kSendTimeout = PhaseOutcome::TransmitTimeout;
constexpr PhaseOutcome kGone = PhaseOutcome::PortNotOpen;
const std::vector<PhaseOutcome> kAllPassed = {kPassed, kPassed, kPassed};

// How a run shows: a text in the report (the whole report for a good adaptor's fast test), the
// baud caption, the power phases at the last rate reached, the verdict with its colour; the
// controls are locked during the run, and the port is back at the rate in force (0: the rate
// selected) afterwards.
// The speed rows: 2048 bytes back in 2392 to 2641 ms is within 7782 to 8600 baud. The floor
// rows: each send and receive has a floor, 100 ms in the fast test and 200 ms in the extended
// one, which holds at 57600 and 115200 baud: lines that send 256 bytes just within and just past
// it. A good adaptor passes every extended phase at the rate it announced: at 19200 and above a
// line left at 8192 cannot return 256 bytes in the 200 ms allowed.
TEST(AdaptorTestRun, ShowsInTheReportAndTheVerdict) {
  const struct {
    const char* name;
    TestKind kind;
    std::string device;
    std::int32_t rateInForce;
    std::string reportText;
    const char* baudCaption;
    std::vector<PhaseOutcome> lastRatePhases;
    Verdict verdict;
  } runs[] = {
      {"fast, good", Fast, "sim", 0,
       "Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to  8192:" + CRLF +
           " >>Baud set to 8192" + CRLF + CRLF + kAllPhases + kSpeedCheckHeader +
           SpeedResult(true, "8192", "0.0%") + "Fast Test complete, all phases passed",
       " 8192 Baud", kAllPassed, Verdict::Passed},
      {"fast, rate refused", Fast, "sim:std-rates", 0,
       "Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to  0:" + CRLF +
           " >>Failed to set COM baud rate.  Verify that the PC serial port is correctly set-up" + CRLF +
           CRLF + "Exiting the test procedure.",
       "Baud Error", {}, Verdict::RateRefused},
      // Pulled while phase 1's block comes back.
      {"fast, cable pulled", Fast, "sim:unplug=815", 0, " >>COM port is not open, Phase4 failed" + CRLF,
       "Error Setting Baud", {kGone, kGone, kGone}, Verdict::Failed},
      {"fast, dead", Fast, "sim:dead", 0,
       kSpeedCheckHeader + " >>Failed to receive data.  Verify that the PC serial port is correctly set-up" +
           CRLF + "Exiting the test procedure" + CRLF + CRLF,
       "Baud Error", {kNoEcho, kNoEcho, kNoEcho}, Verdict::Failed},
      {"fast, no DTR", Fast, "sim:no-dtr", 0, " >>Timeout error receiving data, Phase1 failed" + CRLF,
       " 8192 Baud", {kNoEcho, kPassed, kPassed}, Verdict::Failed},
      {"fast, noise", Fast, "sim:noise", 0, " >>Error Comparing data, Phase1 failed" + CRLF, " 8192 Baud",
       {kGarbled, kGarbled, kGarbled}, Verdict::Failed},
      {"fast, back in 2391 ms", Fast, SimulatedLineForElapsed(2391), 0, SpeedResult(false, "8601", "5.0%"),
       "Baud Rate Error", kAllPassed, Verdict::Failed},
      {"fast, back in 2392 ms", Fast, SimulatedLineForElapsed(2392), 0, SpeedResult(true, "8598", "5.0%"),
       " 8192 Baud", kAllPassed, Verdict::Passed},
      {"fast, back in 2641 ms", Fast, SimulatedLineForElapsed(2641), 0, SpeedResult(true, "7784", "-5.0%"),
       " 8192 Baud", kAllPassed, Verdict::Passed},
      // The fastest slow line.
      {"fast, back in 2642 ms", Fast, SimulatedLineForElapsed(2642), 0, SpeedResult(false, "7781", "-5.0%"),
       "Baud Rate Error", kAllPassed, Verdict::Failed},
      {"fast, sent in 80 ms at 57600", Fast, "sim:rate=32000", 57600, kAllPhases, "Baud Rate Error",
       kAllPassed, Verdict::Failed},
      {"fast, sent in 150 ms at 57600", Fast, "sim:rate=17000", 57600,
       " >>Timeout error transmitting data. Phase1 failed" + CRLF, "Baud Rate Error",
       {kSendTimeout, kSendTimeout, kSendTimeout}, Verdict::Failed},
      {"extended, good", Extended, "sim", 0, kFirstRate + RateHeader("8192"), " 8192 Baud", kAllPassed,
       Verdict::Passed},
      {"extended, rate refused after 4800", Extended, "sim:std-rates", 0,
       kFirstRate + "Executing Extended Test procedure" + CRLF + "Setting Baud to  8192:Failed to set COM " +
           "baud rate.  Verify that the PC serial port is correctly set-up" + CRLF + CRLF +
           "Exiting the test procedure.",
       "Baud Error", kAllPassed, Verdict::RateRefused},
      {"extended, sent in 150 ms", Extended, "sim:rate=17000", 0, "Extended Test complete, all phases passed",
       " 8192 Baud", kAllPassed, Verdict::Passed},
      {"extended, sent in 250 ms", Extended, "sim:rate=10240", 0,
       " >>Timeout error transmitting data. Phase1 failed", " 8192 Baud",
       {kSendTimeout, kSendTimeout, kSendTimeout}, Verdict::Failed},
      // A port that is gone refused no rate: every later rate says so.
      {"extended, cable pulled", Extended, "sim:unplug=2000", 0,
       "Setting Baud to  8192: >>COM port is not open" + CRLF + CRLF + "Beginning Phase1",
       "Error Setting Baud", {kGone, kGone, kGone}, Verdict::Failed}};
  for (const auto& c : runs) {
    SCOPED_TRACE(c.name);
    SimulatedRun run(c.device);
    if (c.rateInForce != 0) {
      ASSERT_TRUE(run.port.ComSetup().SetBaud(c.rateInForce));
      run.port.state.CurrentBaud = c.rateInForce;
    }
    const RunRecord record = *run.session.Start(c.kind);
    EXPECT_NE(run.panel.report.find(c.reportText), std::string::npos) << run.panel.report;
    EXPECT_EQ(run.panel.baudCaption, c.baudCaption);
    const auto lastRate = record.rates.empty() ? std::vector<PhaseRecord>{} : record.rates.back().phases;
    EXPECT_TRUE(std::ranges::equal(lastRate, c.lastRatePhases, {}, &PhaseRecord::outcome));
    EXPECT_EQ(record.verdict, c.verdict);
    const bool passed = c.verdict == Verdict::Passed;
    EXPECT_EQ(run.panel.colour, passed ? kGreen : c.verdict == Verdict::Failed ? kRed : kWhite);
    const std::string kind = c.kind == Fast ? "Fast" : "Extended";
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
}

// The speed block must be counted at exactly 2048: on a line of 30000 baud three bytes come back
// in some milliseconds, and one more byte behind the block makes the count go from 2046 to 2049.
// The wait then sleeps to the deadline instead of polling; the closing pause of 500 ms follows.
TEST(FastTestRun, TheSpeedBlockIsCountedAtExactly2048) {
  for (const bool byteBehindTheBlock : {false, true}) {
    SCOPED_TRACE(byteBehindTheBlock ? "a byte behind the block" : "the block alone");
    SimulatedRun run("sim:rate=30000");
    std::int32_t phase4Start = 0;
    // The first pause once the block is queued: the measurement has just begun.
    run.onRepaint = [&] {
      if (phase4Start == 0 && run.panel.report.ends_with("several seconds..." + CRLF) &&
          run.port.MSComm1.OutBufferCount() >= 2047) {
        phase4Start = run.clock.Reading();
        if (byteBehindTheBlock) run.port.MSComm1.SetOutput(ByteBuffer{0});
      }
    };
    const RunRecord record = *run.session.Start(Fast);
    ASSERT_TRUE(record.speed);
    EXPECT_EQ(record.speed->outcome, byteBehindTheBlock ? SpeedOutcome::NoData : SpeedOutcome::OutOfRange);
    EXPECT_EQ(record.verdict, Verdict::Failed);
    EXPECT_EQ(run.clock.Reading() - phase4Start, (byteBehindTheBlock ? 4096 : 693) + 500);
    EXPECT_EQ(record.speed->bytesReceived, byteBehindTheBlock ? 2049 : 2048);
  }
}

// However late the echo, no byte of one exchange counts in another: a phase that timed out has
// the line quiet before the next, and the speed check starts on a quiet line. At 115200 baud
// each phase gives up within some 100 ms; at 8192 its echo comes as it waits.
TEST(FastTestRun, NoByteOfOneExchangeCountsInAnotherHoweverLate) {
  for (const auto& [latency, rate] : {std::pair(760, 115200), std::pair(1000, 115200), std::pair(1000, 8192)}) {
    SCOPED_TRACE(std::to_string(latency) + " ms late at " + std::to_string(rate));
    SimulatedRun run("sim:latency=" + std::to_string(latency));
    ASSERT_TRUE(run.port.ComSetup().SetBaud(rate));
    run.port.state.CurrentBaud = rate;
    const RunRecord record = *run.session.Start(Fast);
    for (const PhaseRecord& phase : record.rates.at(0).phases) {
      EXPECT_EQ(phase.outcome, kNoEcho);
      EXPECT_EQ(phase.bytesReceived, 0);
    }
    ASSERT_TRUE(record.speed && record.speed->comparison);
    EXPECT_TRUE(record.speed->comparison->Same());
    EXPECT_EQ(record.speed->timing.bytesAfter, 0);
  }
}

std::string HaltedAfter(int phase) {
  return "Phase" + std::to_string(phase) + " Test Passed" + CRLF + CRLF + "*User Halted Test*";
}

// Stop Test pressed during the first pause after a report text (none: before the run) ends the
// run at its next check.
TEST(StopDuringAPause, EndsAtTheNextCheck) {
  const std::string kLastPhase3 = "to 115200" + CRLF + CRLF + PhasePassed(1) + PhasePassed(2) +
                                  "Beginning Phase3 COM test:" + CRLF + kPower[2];
  const std::string kPassedEnd = " Test complete, all phases passed";
  const std::tuple<const char*, TestKind, std::string, std::string, Verdict> stops[] = {
      {"fast, phase 1", Fast, kPower[0], HaltedAfter(1), Verdict::Halted},
      {"fast, closing pause", Fast, "   Difference 0.0%" + CRLF + CRLF, "Fast" + kPassedEnd, Verdict::Passed},
      {"extended, before the run", Extended, "", "Extended" + kPassedEnd, Verdict::Passed},
      {"extended, phase 2", Extended, kPower[1], HaltedAfter(2), Verdict::Halted},
      {"extended, phase 3", Extended, kPower[2], kFirstRate + "Test Halted", Verdict::Halted},
      {"extended, after phase 3", Extended, "Phase3 Test Passed" + CRLF + CRLF, kFirstRate + "Test Halted",
       Verdict::Halted},
      {"extended, last rate's phase 3", Extended, kLastPhase3, "Extended" + kPassedEnd, Verdict::Passed}};
  for (const auto& [name, kind, pauseAfter, reportEnd, verdict] : stops) {
    SCOPED_TRACE(name);
    SimulatedRun run("sim");
    bool pressed = pauseAfter.empty();
    if (pressed) run.session.Stop();
    run.onEvents = [&] {
      if (!pressed && run.panel.report.ends_with(pauseAfter)) {
        run.session.Stop();
        pressed = true;
      }
    };
    const RunRecord record = *run.session.Start(kind);
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(run.panel.report.ends_with(reportEnd)) << run.panel.report;
    EXPECT_EQ(record.verdict, verdict);
  }
}

}  // namespace
