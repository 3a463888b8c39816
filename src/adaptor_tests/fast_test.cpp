#include <algorithm>
#include <random>

#include "adaptor_tests/adaptor_tests.h"
#include "adaptor_tests/number_formats.h"
#include "adaptor_tests/transfer_speed.h"
#include "common/number_text.h"
#include "common/report_texts.h"
#include "link/clock.h"
#include "link/link_exchange.h"
#include "serial/comm_error.h"
#include "serial/port_context.h"

RunRecord AdaptorTests::FastComTest() {
  const std::int32_t baud = port_.state.CurrentBaud;
  const std::int32_t timeout = ExchangeTimeout(baud, 100);
  BeginRun();
  panel_.SetStatusColour(kWhite);
  if (!SetRateUnderTest("Executing Extended Test procedure" + CRLF + CRLF + "Setting Baud to " +
                            NumberText(baud) + ":" + CRLF,
                        baud)) {
    ReportRefusedRate(" >>", baud);
    return Finish(Verdict::RateRefused);
  }

  for (int phase = 1; phase <= 3; ++phase) {
    if (RunLoopbackPhase(phase, baud, timeout) == PhaseResult::RateRefused) {
      ReportRefusedRate(" >>", baud);
      return Finish(Verdict::RateRefused);
    }
    if (!ContinueTest) {
      panel_.ReportStatus("*User Halted Test*", "*User Halted Test*", false);
      return Finish(Verdict::Halted);
    }
  }

  panel_.StopNoLongerHeard();
  panel_.ReportStatus("Beginning Phase4 COM test:" + CRLF + " Checking 8192 BAUD Compatability" +
                          CRLF,
                      "", false);
  panel_.ReportStatus(" -->Enabling RTS + DTS power..." + CRLF, "", false);
  SetLinePower(port_, true, true);
  if (!RunTransferSpeedPhase()) {
    ReportRefusedRate(" >>", kVehicleBaud);
    return Finish(Verdict::RateRefused);
  }

  link_.DelayMs(500);
  CheckSpeedBlock();
  ReportVerdict("Fast Test complete, all phases passed", "Fast Test Passed!",
                "Fast Test complete, errors occurred", "Fast Test Failed!");
  return Finish(failures_ == 0 ? Verdict::Passed : Verdict::Failed);
}

bool AdaptorTests::RunTransferSpeedPhase() {
  if (!port_.MSComm1.PortOpen()) {
    FailSpeedPhaseForClosedPort();
    return true;
  }
  panel_.ReportStatus(" -->Setting BAUD rate to 8192" + CRLF, "", false);
  if (!port_.ComSetup().SetBaud(kVehicleBaud)) {
    if (port_.MSComm1.PortOpen()) return false;
    FailSpeedPhaseForClosedPort();
    return true;
  }
  panel_.ReportStatus(" >>Baud set to 8192" + CRLF, "", false);
  panel_.ReportStatus(" -->Running Transfer Speed Test:" + CRLF +
                          "    This will take several seconds..." + CRLF,
                      "", false);

  speedBlock_ = RandomSpeedBlock(clock_.timeGetTime());
  const ByteBuffer& block = speedBlock_;
  std::optional<std::uint32_t> elapsedMs;
  std::int32_t start = 0;
  std::int32_t counted = 0;
  timeBeginPeriod(1);
  try {
    MSComm& comm = port_.MSComm1;
    // The echo of phase 3 may still be on its way after the power switch: it must not count
    // towards the block.
    link_.DiscardUntilQuiet(timedOut_ ? kLateEchoQuietMs : kQuietLineMs, kQuietLineLimitMs);
    comm.SetInBufferCount(0);
    comm.SetOutBufferCount(0);
    start = clock_.timeGetTime();
    const Deadline deadline(start, 2 * kSpeedBlockSize);
    link_.WatchInput();
    comm.SetOutput(block);
    // No user input here, and sleeps that end as the count can change: the measurement works in
    // whole milliseconds. Past the block size the count never reads exactly 2048 again, and
    // only more bytes or the deadline can end the wait.
    for (std::int32_t reading; !deadline.PassedAt(reading = clock_.timeGetTime());) {
      link_.NoteInput(reading);
      const std::int16_t count = comm.InBufferCount();
      if (count == kSpeedBlockSize) {
        elapsedMs = Deadline::Since(start, clock_.timeGetTime());
        break;
      }
      link_.PauseForInput(std::max<std::int32_t>(count + 1, kSpeedBlockSize), deadline.LeftAt(reading));
    }
    counted = comm.InBufferCount();
  } catch (const CommError&) {
    timeEndPeriod(1);
    FailSpeedPhaseForClosedPort();
    return true;
  }
  timeEndPeriod(1);

  if (!elapsedMs) {
    panel_.ReportStatus(" >>Failed to receive data.  Verify that the PC serial port is correctly "
                        "set-up" + CRLF + "Exiting the test procedure" + CRLF + CRLF,
                        "Unable to set BAUD", false);
    panel_.SetBaudCaption("Baud Error");
    panel_.Beep();
    ++failures_;
    record_.speed = SpeedRecord{SpeedOutcome::NoData, std::nullopt};
  } else {
    ReportSpeedResult(*elapsedMs);
  }
  record_.speed->bytesReceived = counted;
  record_.speed->timing.firstByteMs = MsSince(start, link_.Arrivals().first);
  record_.speed->timing.lastByteMs = MsSince(start, link_.Arrivals().last);
  return true;
}

void AdaptorTests::CheckSpeedBlock() {
  if (!record_.speed || record_.speed->outcome == SpeedOutcome::PortNotOpen) return;
  SpeedRecord& speed = *record_.speed;
  ByteBuffer back;
  try {
    back = port_.MSComm1.Input();
  } catch (const CommError&) {
    return;
  }
  speed.timing.bytesAfter = std::max<std::int32_t>(static_cast<std::int32_t>(back.size()) - speed.bytesReceived, 0);
  speed.comparison = CompareBlocks(speedBlock_, std::span(back).first(std::min(back.size(), speedBlock_.size())));
  // A block back in time but not as it was sent, or with bytes of the adaptor's own after it.
  if (speed.outcome == SpeedOutcome::Passed && (!speed.comparison->Same() || speed.timing.bytesAfter > 0)) {
    panel_.ReportStatus(" >>Error Comparing data, " + PhaseName(4) + " failed" + CRLF + CRLF,
                        PhaseName(4) + " Failed", false);
    ++failures_;
    speed.outcome = SpeedOutcome::CompareError;
  }
}

void AdaptorTests::FailSpeedPhaseForClosedPort() {
  panel_.ReportStatus(PortNotOpenText(4) + CRLF + CRLF, PhaseName(4) + " Failed", false);
  ++failures_;
  record_.speed = SpeedRecord{SpeedOutcome::PortNotOpen, std::nullopt};
  record_.portLost = true;
}

void AdaptorTests::ReportSpeedResult(std::uint32_t elapsedMs) {
  const TransferSpeed speed = TransferSpeedFromElapsed(elapsedMs);
  const std::string result =
      std::string(speed.good ? " >>Transfer Speed Good! " : " >>Transfer Speed Test Failed! ") +
      CRLF + "   Expected   8192" + CRLF + "   Measured   " + FormatWhole(speed.measuredRate) +
      CRLF + "   Acceptable Range = 7782 to 8600" + CRLF + "   Difference " +
      FormatPercent(speed.measuredRate / double{kVehicleBaud} - 1.0, decimalSeparator_) + CRLF +
      CRLF;

  record_.speed =
      SpeedRecord{speed.good ? SpeedOutcome::Passed : SpeedOutcome::OutOfRange, speed.measuredRate};
  if (speed.good) {
    panel_.ReportStatus(result, "Phase4 Passed", false);
    return;
  }
  panel_.ReportStatus(result, "Transfer Rate Error", false);
  panel_.SetBaudCaption("Baud Rate Error");
  panel_.Beep();
  ++failures_;
}
