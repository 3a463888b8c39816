#include "adaptor_tests/adaptor_tests.h"
#include "common/number_text.h"
#include "common/report_texts.h"
#include "link/link_exchange.h"
#include "serial/comm_error.h"
#include "serial/port_context.h"

AdaptorTests::AdaptorTests(PortContext& port, LinkExchange& link, Clock& clock, TestPanel& panel,
                           const BaudListArray& baudList, std::string decimalSeparator)
    : port_(port),
      link_(link),
      clock_(clock),
      panel_(panel),
      baudList_(baudList),
      decimalSeparator_(std::move(decimalSeparator)) {}

void AdaptorTests::ReportRefusedRate(const std::string& prefix, std::int32_t rate) {
  panel_.ReportStatus(prefix + kRefusedRateText, "Unable to set BAUD", false);
  panel_.SetBaudCaption("Baud Error");
  panel_.Beep();
  record_.refusal = RateRefusal{rate, std::nullopt};
  try {
    DCB line{};
    if (GetCommState(port_.MSComm1.CommID(), line) != 0) record_.refusal->readBack = line.BaudRate;
  } catch (const CommError&) {
    // A port that fails now has no rate to read back.
  }
}

void AdaptorTests::BeginRun() {
  ContinueTest = true;
  panel_.ReportStatus("", "", true);
  failures_ = 0;
  timedOut_ = false;
  record_ = {};
}

bool AdaptorTests::SetRateUnderTest(const std::string& announcement, std::int32_t rate) {
  panel_.ReportStatus(announcement, "Setting BAUD", false);
  if (!port_.ComSetup().SetBaud(rate)) {
    if (port_.MSComm1.PortOpen()) return false;
    // A port that is gone refused no rate: its phases fail as not open and the run goes on to
    // its verdict.
    panel_.ReportStatus(kPortNotOpenText + CRLF + CRLF, kPortNotOpenStatus, false);
    record_.rates.push_back({rate, {}});
    record_.portLost = true;
    return true;
  }
  const std::string baudSet = " >>Baud set to" + NumberText(rate) + CRLF + CRLF;
  panel_.ReportStatus(baudSet, baudSet, false);
  panel_.SetBaudCaption(NumberText(rate) + " Baud");
  record_.rates.push_back({rate, {}});
  return true;
}

RunRecord AdaptorTests::Finish(Verdict verdict) {
  record_.verdict = verdict;
  return std::move(record_);
}

void AdaptorTests::ReportVerdict(const std::string& passed, const std::string& passedStatus,
                                 const std::string& failed, const std::string& failedStatus) {
  if (failures_ == 0) {
    panel_.ReportStatus(passed, passedStatus, false);
    panel_.SetStatusColour(kGreen);
  } else {
    panel_.ReportStatus(failed, failedStatus, false);
    panel_.SetStatusColour(kRed);
  }
}

RunRecord AdaptorTests::ExtendedComTest() {
  BeginRun();
  for (std::int32_t rate : baudList_) {
    if (rate == 0) break;
    if (!ContinueTest) {
      panel_.ReportStatus("Test Halted", "Test Halted", false);
      return Finish(Verdict::Halted);
    }
    panel_.SetStatusColour(kWhite);
    // No line break after the colon: the next text continues the line.
    if (!SetRateUnderTest("Executing Extended Test procedure" + CRLF + "Setting Baud to " +
                              NumberText(rate) + ":",
                          rate)) {
      ReportRefusedRate("", rate);
      return Finish(Verdict::RateRefused);
    }
    const std::int32_t timeout = ExchangeTimeout(rate, 200);

    for (int phase = 1; phase <= 3; ++phase) {
      if (RunLoopbackPhase(phase, rate, timeout) == PhaseResult::RateRefused) {
        ReportRefusedRate("", rate);
        return Finish(Verdict::RateRefused);
      }
      // A stop is honoured after phases 1 and 2; after phase 3 it waits for the next rate.
      if (phase < 3 && !ContinueTest) {
        panel_.ReportStatus("*User Halted Test*", "*User Halted Test*", false);
        return Finish(Verdict::Halted);
      }
    }
    link_.DelayMs(500);
  }

  ReportVerdict("Extended Test complete, all phases passed", "Extended Test Passed!",
                "Extended Test complete, errors occurred", "Extended Test Failed!");
  return Finish(failures_ == 0 ? Verdict::Passed : Verdict::Failed);
}
