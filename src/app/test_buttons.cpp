// Start Test and Stop Test: the run itself is the adaptor tests' own.

#include <QPushButton>
#include <QRadioButton>
#include <QString>

#include "app/frmBaudTest.h"
#include "serial/port_map.h"
#include "serial/port_selection.h"
#include "tests/diagnosis_text.h"

void frmBaudTest::cmdStart_Click() {
  testRunning_ = true;
  const auto record = session_.Start(optTestSetup[1]->isChecked() ? TestKind::Extended : TestKind::Fast);
  testRunning_ = false;
  // After a failure the report ends with what the headless runner says of it.
  if (record) {
    const auto diagnoses = Diagnose(*record, ports_.Identity(Port().state.CurrentPort));
    if (!diagnoses.empty()) AppendDiagnosis(DiagnosisText(diagnoses, kUnwrapped));
  }
  if (const auto lost = DropLostPort(Port())) ApplyPortSelection(*lost);
  if (closeAfterTest_) {
    close();
    return;
  }
  // Ready for the next run from the keyboard.
  cmdStart->setFocus();
}

void frmBaudTest::cmdStop_Click() { session_.Stop(); }
