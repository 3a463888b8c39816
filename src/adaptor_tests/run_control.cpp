#include "adaptor_tests/run_control.h"

#include "adaptor_tests/adaptor_tests.h"
#include "common/number_text.h"
#include "common/test_panel.h"
#include "serial/port_context.h"

namespace {

constexpr std::int32_t kStopIconOkButton = 16;

// A run that ended on a rate fault leaves "Baud Error" or "Baud Rate Error" in the baud caption.
bool EndedOnRateFault(const RunRecord& record) {
  return record.verdict == Verdict::RateRefused ||
         (record.speed && (record.speed->outcome == SpeedOutcome::NoData ||
                           record.speed->outcome == SpeedOutcome::OutOfRange));
}

}  // namespace

std::optional<RunRecord> StartTest(const std::function<RunRecord()>& test, PortContext& port, TestPanel& panel) {
  if (!port.state.PortReady) {
    panel.Beep();
    panel.ShowMessage("Com Port is not selected, cannot run test", kStopIconOkButton, "Run Test");
    return std::nullopt;
  }
  panel.SetTestBusy(true);
  RunRecord record = test();
  if (port.state.CurrentBaud != 0) {
    const bool restored = port.ComSetup().SetBaud(port.state.CurrentBaud);
    // The caption named the last rate under test; it names the rate in force again, worded as
    // the tests word their rates, unless it tells of a fault.
    if (!EndedOnRateFault(record)) {
      panel.SetBaudCaption(restored ? NumberText(port.state.CurrentBaud) + " Baud"
                                    : "Error Setting Baud");
    }
  }
  panel.SetTestBusy(false);
  return record;
}

void StopTest(AdaptorTests& tests) { tests.ContinueTest = false; }
