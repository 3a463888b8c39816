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

TEST(ExtendedTestRun, GoodAdaptorPassesEveryPhaseAtEveryRate) {
  SimulatedRun run("sim");
  const RunRecord record = run.Run(TestKind::Extended);

  const std::string firstRate = RateHeader("4800") +
                                PhasePassed(1, "-->Enabling DTR only power...") +
                                PhasePassed(2, "-->Enabling RTS only power...") +
                                PhasePassed(3, "-->Enabling RTS + DTS power...");
  EXPECT_EQ(run.panel.report.substr(0, firstRate.size()), firstRate);
  EXPECT_EQ(run.panel.report.substr(firstRate.size(), RateHeader("8192").size()),
            RateHeader("8192"));
  EXPECT_TRUE(run.panel.report.ends_with("Phase3 Test Passed" + CRLF + CRLF +
                                         "Extended Test complete, all phases passed"));
  EXPECT_EQ(run.panel.status, "Extended Test Passed!");
  EXPECT_EQ(run.panel.colour, kGreen);
  EXPECT_EQ(run.panel.baudCaption, " 8192 Baud") << "the last rate under test is not in force";

  // Each phase exchanged at the rate it announced: at 19200 and above a line left at 8192
  // cannot return 256 bytes within the 200 ms allowed.
  ASSERT_EQ(record.rates.size(), 6u);
  for (const RateRecord& rate : record.rates) {
    ASSERT_EQ(rate.phases.size(), 3u) << rate.rate;
    for (const PhaseRecord& phase : rate.phases) {
      EXPECT_EQ(phase.outcome, PhaseOutcome::Passed) << rate.rate << " phase " << phase.phase;
    }
  }
  EXPECT_EQ(record.verdict, Verdict::Passed);

  DCB line{};
  ASSERT_NE(GetCommState(run.port.MSComm1.CommID(), line), 0);
  EXPECT_EQ(line.BaudRate, 8192u) << "the port was not set back to the rate in force";
}

TEST(ExtendedTestRun, OneFailedPhaseMakesTheVerdictRed) {
  SimulatedRun run("sim:no-dtr");
  const RunRecord record = run.Run(TestKind::Extended);
  for (const RateRecord& rate : record.rates) {
    EXPECT_EQ(rate.phases[0].outcome, PhaseOutcome::ReceiveTimeout) << rate.rate;
    EXPECT_EQ(rate.phases[1].outcome, PhaseOutcome::Passed) << rate.rate;
  }
  EXPECT_TRUE(run.panel.report.ends_with("Extended Test complete, errors occurred"));
  EXPECT_EQ(run.panel.status, "Extended Test Failed!");
  EXPECT_EQ(run.panel.colour, kRed);
}

TEST(ExtendedTestRun, RefusalOf8192AfterAPassing4800) {
  SimulatedRun run("sim:std-rates");
  const RunRecord record = run.Run(TestKind::Extended);
  EXPECT_TRUE(run.panel.report.ends_with(
      PhasePassed(3, "-->Enabling RTS + DTS power...") + "Executing Extended Test procedure" +
      CRLF + "Setting Baud to  8192:Failed to set COM baud rate.  Verify that the PC serial port "
      "is correctly set-up" + CRLF + CRLF + "Exiting the test procedure."));
  EXPECT_EQ(run.panel.baudCaption, "Baud Error");
  EXPECT_EQ(run.panel.beeps, 1);
  EXPECT_EQ(run.panel.colour, kWhite);
  EXPECT_EQ(record.verdict, Verdict::RateRefused);
}

TEST(ExtendedTestRun, StopDuringPhaseOneEndsAfterIt) {
  SimulatedRun run("sim");
  run.StopDuringPauseAfter("-->Enabling DTR only power..." + CRLF);
  run.Run(TestKind::Extended);
  EXPECT_EQ(run.panel.report, RateHeader("4800") + PhasePassed(1, "-->Enabling DTR only power...") +
                                  "*User Halted Test*");
  EXPECT_EQ(run.panel.status, "*User Halted Test*");
  EXPECT_EQ(run.panel.colour, kWhite);
}

TEST(ExtendedTestRun, StopAroundPhaseThreeEndsBeforeTheNextRate) {
  for (const std::string& pause : {"-->Enabling RTS + DTS power..." + CRLF,
                                   " >>DTR Power Phase3 Test Passed" + CRLF + CRLF}) {
    SimulatedRun run("sim");
    run.StopDuringPauseAfter(pause);
    const RunRecord record = run.Run(TestKind::Extended);
    EXPECT_TRUE(run.panel.report.ends_with(PhasePassed(3, "-->Enabling RTS + DTS power...") +
                                           "Test Halted"))
        << pause;
    EXPECT_EQ(run.panel.status, "Test Halted");
    EXPECT_EQ(record.rates.size(), 1u);
    EXPECT_EQ(record.verdict, Verdict::Halted);
  }
}

TEST(ExtendedTestRun, StopDuringTheLastRatesPhaseThreeStillGivesTheVerdict) {
  SimulatedRun run("sim");
  run.StopDuringPauseAfter("-->Enabling RTS + DTS power..." + CRLF, 6);
  run.Run(TestKind::Extended);
  EXPECT_TRUE(run.panel.report.ends_with("Extended Test complete, all phases passed"));
}

TEST(ExtendedTestRun, AStopBeforeTheRunDoesNotShortenIt) {
  SimulatedRun run("sim");
  StopTest(run.tests);
  EXPECT_EQ(run.Run(TestKind::Extended).verdict, Verdict::Passed);
}

}  // namespace

namespace {

// A cable pulled during the first rate: every later rate says the port is gone rather than
// blaming the rate, and the run reaches its verdict; afterwards the port counts as failed to
// open, its number kept for shutdown to save.
TEST(ExtendedTestRun, PulledCableIsReportedAsGoneAndTheRunReachesItsVerdict) {
  SimulatedRun run("sim:unplug=2000");
  const RunRecord record = run.Run(TestKind::Extended);
  EXPECT_NE(run.panel.report.find("Setting Baud to  8192: >>COM port is not open" + CRLF + CRLF +
                                  "Beginning Phase1 COM test:"),
            std::string::npos)
      << run.panel.report;
  EXPECT_EQ(run.panel.report.find("Failed to set COM baud rate"), std::string::npos);
  EXPECT_EQ(run.panel.beeps, 0);
  EXPECT_TRUE(run.panel.report.ends_with("Extended Test complete, errors occurred"));
  EXPECT_EQ(record.verdict, Verdict::Failed);
  ASSERT_EQ(record.rates.size(), 6u);
  EXPECT_EQ(record.rates.back().phases.back().outcome, PhaseOutcome::PortNotOpen);

  const auto view = DropLostPort(run.port);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->comStatus, "Unable to open Com 1");
  EXPECT_EQ(view->checkedEntry, 0);
  EXPECT_FALSE(view->startEnabled);
  EXPECT_FALSE(run.port.state.PortReady);
  EXPECT_EQ(run.port.state.CurrentPort, 1);
  EXPECT_FALSE(DropLostPort(run.port));
}

}  // namespace
