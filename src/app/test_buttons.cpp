// Start Test and Stop Test: the run itself is the adaptor tests' own.

#include <QRadioButton>

#include "app/frmBaudTest.h"
#include "tests/run_control.h"

void frmBaudTest::cmdStart_Click() {
  testRunning_ = true;
  StartTest(tests_, port_, *this, optTestSetup[1]->isChecked() ? TestKind::Extended : TestKind::Fast);
  testRunning_ = false;
  if (const auto lost = DropLostPort(port_)) ApplyPortSelection(*lost);
  if (closeAfterTest_) close();
}

void frmBaudTest::cmdStop_Click() { StopTest(tests_); }
