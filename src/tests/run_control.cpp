#include "tests/run_control.h"

#include "serial/port_context.h"
#include "tests/adaptor_tests.h"
#include "tests/test_panel.h"

namespace {
constexpr std::int32_t kStopIconOkButton = 16;
}

std::optional<RunRecord> StartTest(AdaptorTests& tests, PortContext& port, TestPanel& panel,
                                   TestKind kind) {
  if (!port.state.PortReady) {
    panel.Beep();
    panel.ShowMessage("Com Port is not selected, cannot run test", kStopIconOkButton, "Run Test");
    return std::nullopt;
  }
  panel.SetTestBusy(true);
  RunRecord record = kind == TestKind::Extended ? tests.ExtendedComTest() : tests.FastComTest();
  if (port.state.CurrentBaud != 0) port.ComSetup().SetBaud(port.state.CurrentBaud);
  panel.SetTestBusy(false);
  return record;
}

void StopTest(AdaptorTests& tests) { tests.ContinueTest = false; }
