// Start Test and Stop Test: the run itself is the adaptor tests' own.

#include <QPushButton>
#include <QRadioButton>
#include <QString>

#include "adaptor_tests/diagnosis_text.h"
#include "app/frmBaudTest.h"
#include "serial/port_map.h"
#include "serial/port_selection.h"

namespace {

TestKind ChosenTest(const std::vector<QRadioButton*>& choices) {
  if (choices[1]->isChecked()) return TestKind::Extended;
  if (choices[2]->isChecked()) return TestKind::Car;
  return TestKind::Fast;
}

}  // namespace

void frmBaudTest::cmdStart_Click() {
  testRunning_ = true;
  const auto record = session_.Start(ChosenTest(optTestSetup));
  testRunning_ = false;
  // After a failure the report ends with what the headless runner says of it, in the window's
  // words.
  if (record) {
    const auto diagnoses = Diagnose(*record, ports_.Identity(Port().state.CurrentPort), Reader::Window);
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
