// Start Test and Stop Test: the run itself is the adaptor tests' own.

#include <QRadioButton>

#include "app/frmBaudTest.h"
#include "serial/port_selection.h"

void frmBaudTest::cmdStart_Click() {
  testRunning_ = true;
  session_.Start(optTestSetup[1]->isChecked() ? TestKind::Extended : TestKind::Fast);
  testRunning_ = false;
  if (const auto lost = DropLostPort(Port())) ApplyPortSelection(*lost);
  if (closeAfterTest_) close();
}

void frmBaudTest::cmdStop_Click() { session_.Stop(); }
