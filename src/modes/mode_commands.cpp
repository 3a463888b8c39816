// Test mode and diagnostic mode, and the diagnostic controls.

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include "app/frmBaudTest.h"
#include "serial/comm_error.h"

namespace {
constexpr std::size_t kBurstLength = 256;
constexpr std::uint8_t kBurstByte = 0x55;
}  // namespace

void frmBaudTest::ConnectModeHandlers() {
  connect(mnuModeTest, &QAction::triggered, this, [this] { mnuModeTest_Click(); });
  connect(mnuModeDiag, &QAction::triggered, this, [this] { mnuModeDiag_Click(); });
  // Toggled, not clicked: a change made from code runs the handler too, as the boxes' guard
  // against switching a line while they copy its state expects.
  connect(chkDtrPwr, &QCheckBox::toggled, this, [this] { chkDtrPwr_Click(); });
  connect(chkRtsPwr, &QCheckBox::toggled, this, [this] { chkRtsPwr_Click(); });
  connect(cmdSendChars, &QPushButton::clicked, this, [this] { cmdSendChars_Click(); });
}

void frmBaudTest::mnuModeTest_Click() {
  mnuModeDiag->setChecked(false);
  fraDiagMode->hide();
  cmdSendChars->setEnabled(false);
  mnuModeTest->setChecked(true);
  fraTestMode->show();
  cmdStart->setEnabled(true);
}

void frmBaudTest::mnuModeDiag_Click() {
  mnuModeDiag->setChecked(true);
  fraDiagMode->show();
  cmdSendChars->setEnabled(true);
  mnuModeTest->setChecked(false);
  fraTestMode->hide();
  cmdStart->setEnabled(false);
  chkDtrPwr->setEnabled(false);
  chkDtrPwr->setChecked(Port().MSComm1.DTREnable());
  chkDtrPwr->setEnabled(true);
  chkRtsPwr->setEnabled(false);
  chkRtsPwr->setChecked(Port().MSComm1.RTSEnable());
  chkRtsPwr->setEnabled(true);
}

void frmBaudTest::chkDtrPwr_Click() {
  if (!chkDtrPwr->isEnabled()) return;
  SetLinePower(Port(), !Port().MSComm1.DTREnable(), Port().MSComm1.RTSEnable());
}

void frmBaudTest::chkRtsPwr_Click() {
  if (!chkRtsPwr->isEnabled()) return;
  SetLinePower(Port(), Port().MSComm1.DTREnable(), !Port().MSComm1.RTSEnable());
}

void frmBaudTest::cmdSendChars_Click() {
  // Without an open port there is nothing to send to.
  if (!Port().MSComm1.PortOpen()) return;
  try {
    Port().MSComm1.SetOutBufferCount(0);
    Port().MSComm1.SetOutput(ByteBuffer(kBurstLength, kBurstByte));
  } catch (const CommError&) {
    // A port that fails here (a pulled cable) shows at the next test.
  }
}
