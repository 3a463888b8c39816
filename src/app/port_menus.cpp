// The Com Port and Baud Select menus: their port side lives with the serial layer.

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMenu>

#include "app/app_settings.h"
#include "app/frmBaudTest.h"
#include "common/number_text.h"
#include "common/report_texts.h"
#include "msgbox/MMsgBoxPos.h"
#include "serial/baud_select.h"
#include "serial/port_map.h"

namespace {

// The device, what it is and, for a greyed entry or one that failed to open, why it cannot be
// opened; one line each.
QString PortToolTip(PortMap& ports, int comPort, bool available, const std::optional<std::string>& openFailure) {
  const PortIdentity identity = ports.Identity(comPort);
  std::string tip = ports.Device(comPort);
  if (identity.kind != PortIdentity::Kind::Missing) tip += "\n" + DescribeIdentity(identity);
  if (!identity.byId.empty()) tip += "\n" + identity.byId;
  if (!available) {
    tip += "\n" + ports.Unavailability(comPort).value_or("");
  } else if (openFailure) {
    tip += "\n" + *openFailure;
  }
  return QString::fromStdString(tip);
}

}  // namespace

void frmBaudTest::CheckOnly(const std::vector<QAction*>& entries, int index) {
  for (QAction* entry : entries) entry->setChecked(false);
  if (index >= 0 && index < static_cast<int>(entries.size())) entries[index]->setChecked(true);
}

void frmBaudTest::ApplyPortSelection(const PortSelectionView& view) {
  CheckOnly(mnuSetupComPort, view.checkedEntry);
  lblComStat->setText(QString::fromStdString(view.comStatus));
  if (view.baudValue) lblBaudVal->setText(QString::fromStdString(*view.baudValue));
  EnableStart(view.startEnabled);
}

void frmBaudTest::InitComPorts() {
  const std::vector<bool> available = ProbeComPorts(Port());
  for (std::size_t i = 0; i < available.size(); ++i) {
    const int comPort = static_cast<int>(i) + 1;
    QAction* entry = xmnuSetupComPort->addAction(QString::fromStdString("COM" + NumberText(comPort)));
    entry->setObjectName(ControlArrayName("mnuSetupComPort", comPort));
    entry->setCheckable(true);
    entry->setActionGroup(mnuSetupComPort[0]->actionGroup());
    connect(entry, &QAction::triggered, this,
            [this, comPort] { mnuSetupComPort_Click(static_cast<std::int16_t>(comPort)); });
    mnuSetupComPort.push_back(entry);
    ShowComPortEntry(comPort, available[i]);
  }

  const PortRestoreOutcome restored = RestoreSavedPort(
      Port(), GetAppSetting("SerialPortInfo", "ComPort").toStdString(), available);
  CheckOnly(mnuSetupComPort, -1);
  if (restored.previousPortGone) {
    Beep();
    QString title = "Find SIO Ports";
    ShowMsgBox(QString::fromStdString("Previous ComPort is no longer available." + CRLF +
                                      "Make a new selection from the Setup-ComPort menu"),
               kMsgBoxInformation, title, this);
  }
  ApplyPortSelection(restored.view);
}

void frmBaudTest::ShowComPortEntry(int comPort, bool available) {
  mnuSetupComPort[comPort]->setEnabled(available);
  mnuSetupComPort[comPort]->setToolTip(
      PortToolTip(ports_, comPort, available, Port().MSComm1.OpenFailure(static_cast<std::int16_t>(comPort))));
}

// A cable plugged in or pulled since start-up shows on the next opening of the Setup menu. The
// window's own open port stays enabled: that it holds the port does not make it busy.
void frmBaudTest::RefreshComPorts() {
  const MSComm& open = Port().MSComm1;
  for (int comPort = 1; comPort < static_cast<int>(mnuSetupComPort.size()); ++comPort) {
    const bool ours = open.PortOpen() && open.CommPort() == comPort;
    ShowComPortEntry(comPort, ours || !ports_.Unavailability(comPort));
  }
}

void frmBaudTest::mnuSetupComPort_Click(std::int16_t Index) {
  CheckOnly(mnuSetupComPort, -1);
  ApplyPortSelection(SelectComPort(Port(), Index));
  // A port only an open can find busy says so in its tooltip from now on.
  if (Index > 0 && Index < static_cast<int>(mnuSetupComPort.size())) ShowComPortEntry(Index, mnuSetupComPort[Index]->isEnabled());
}

void frmBaudTest::xmnuSetup_Click() {
  if (!Port().state.PortReady) {
    XmnuSelectBaud->menuAction()->setEnabled(false);
    return;
  }
  XmnuSelectBaud->menuAction()->setEnabled(true);
  CheckOnly(mnuSelectBaud, MenuEntryOfBaud(Port().state.CurrentBaud).value_or(-1));
}

void frmBaudTest::mnuSelectBaud_Click(std::int16_t Index) {
  CheckOnly(mnuSelectBaud, -1);
  const std::int32_t rate = BaudOfMenuEntry(Index);
  if (!SelectBaud(Port(), rate)) {
    lblBaudVal->setText("Error Setting Baud");
    return;
  }
  lblBaudVal->setText(QString::fromStdString(NumberText(rate)));
  CheckOnly(mnuSelectBaud, Index);
}
