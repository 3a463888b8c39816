#pragma once

#include <QMainWindow>
#include <functional>
#include <vector>

#include "adaptor_tests/baud_list.h"
#include "adaptor_tests/test_session.h"
#include "common/test_panel.h"
#include "serial/port_context.h"
#include "serial/port_selection.h"

class Clock;
class PortMap;
class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// The one window of the tester. Creating it builds its controls and menus; Form_Load then sizes
// and places it, probes the ports and selects test mode, before it is shown.
class frmBaudTest : public QMainWindow, private TestPanel {
 public:
  frmBaudTest(PortMap& ports, Clock& clock, std::function<void()> beep);
  ~frmBaudTest() override;

  // Start-up and shutdown.
  void Form_Load();
  // Saves the settings and releases the port; only the first call does anything.
  void Form_Unload();
  void cmdExit_Click();
  void mnuExit_Click();
  void mnuHelpAbout_Click();

  // The report panel and the control states.
  void ReportStatus(const std::string& message, const std::string& status, bool clear) override;
  // Appends a diagnosis and shows it from its heading.
  void AppendDiagnosis(const std::string& text);
  void EnableStart(bool enable);
  void SetTestBusy(bool busy) override;

  // Port choice, rate choice.
  void InitComPorts();
  void RefreshComPorts();
  void mnuSetupComPort_Click(std::int16_t Index);
  void xmnuSetup_Click();
  void mnuSelectBaud_Click(std::int16_t Index);

  // Test run control.
  void cmdStart_Click();
  void cmdStop_Click();

  // The car link test's choices: the ECU's ID (entry 0 asks the common IDs in turn), and a quiet
  // bus.
  void mnuCarLinkEcu_Click(std::int16_t Index);
  void mnuCarLinkQuietBus_Click();

  // Modes and diagnostics.
  void mnuModeTest_Click();
  void mnuModeDiag_Click();
  void chkDtrPwr_Click();
  void chkRtsPwr_Click();
  void cmdSendChars_Click();

  // The report box's context menu.
  void ShowReportMenu(const QPoint& at);
  void mnuSaveReport_Click();

  // The serial side: MSComm1, ComSetup and the port state record.
  PortContext& Port() { return session_.Port(); }

 private:
  TestSession session_;

 public:
  // The extended test's rates, kept by the session; Form_Load sets them.
  BaudListArray& BaudList = session_.BaudList;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void CreateMenus();
  void CreateCarLinkMenu();
  void LoadCarLinkSettings();
  void SaveCarLinkSettings();
  void SetTabOrder();
  void FitToScreen();
  void ConnectHandlers();
  void ConnectModeHandlers();
  void PlaceFromSettings();
  void ApplyPortSelection(const PortSelectionView& view);
  void CheckOnly(const std::vector<QAction*>& entries, int index);
  void ShowComPortEntry(int comPort, bool available);

  // What the tests write through.
  void SetStatusColour(Colour colour) override;
  void SetBaudCaption(const std::string& caption) override;
  void Beep() override;
  void ShowMessage(const std::string& text, std::int32_t buttons, const std::string& title) override;

  PortMap& ports_;
  std::function<void()> beep_;
  bool testRunning_ = false;
  bool closeAfterTest_ = false;
  bool unloaded_ = false;

  QFrame* Frame1 = nullptr;
  QLabel* Label1 = nullptr;
  QGroupBox* fraTestMode = nullptr;
  std::vector<QRadioButton*> optTestSetup;
  QGroupBox* fraDiagMode = nullptr;
  QCheckBox* chkDtrPwr = nullptr;
  QCheckBox* chkRtsPwr = nullptr;
  QPushButton* cmdSendChars = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* lblComStat = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* lblBaudVal = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* lblStatMon = nullptr;
  QPushButton* cmdStop = nullptr;
  QPushButton* cmdStart = nullptr;
  QPushButton* cmdExit = nullptr;
  QPlainTextEdit* txtStatus = nullptr;
  QAction* mnuSaveReport = nullptr;

  QAction* mnuExit = nullptr;
  QMenu* xmnuSetup = nullptr;
  QMenu* xmnuSetupComPort = nullptr;
  std::vector<QAction*> mnuSetupComPort;
  QMenu* XmnuSelectBaud = nullptr;
  std::vector<QAction*> mnuSelectBaud;
  QMenu* xmnuSetupCarLink = nullptr;
  std::vector<QAction*> mnuCarLinkEcu;
  QAction* mnuCarLinkQuietBus = nullptr;
  QMenu* xmnuMode = nullptr;
  QAction* mnuModeTest = nullptr;
  QAction* mnuModeDiag = nullptr;
  QMenu* xmnuHelp = nullptr;
  QAction* mnuHelpAbout = nullptr;
};

// The object name of an entry of a control array, as in "mnuSelectBaud(3)".
QString ControlArrayName(const char* control, int index);
