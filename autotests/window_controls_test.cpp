// The window in use: the Com Port menu and the saved port, Baud Select, the power lines, the two
// modes, the report panel, and Start and Stop Test on the simulated adaptor and the fake clock.

#include <QKeyEvent>
#include <QPushButton>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include "serial/tty_device.h"
#include "support/pty_pair.h"
#include "support/window_harness.h"

namespace {

// The Setup menu opened, as the user does before reaching its submenus.
void OpenSetup(WindowHarness& harness) { emit harness.Get<QMenu>("xmnuSetup").aboutToShow(); }

// What a running test locks: everything but Stop Test that could interfere.
const QStringList kLocked = {"cmdStart",  "cmdExit",         "cmdSendChars",    "chkDtrPwr",
                             "chkRtsPwr", "optTestSetup(0)", "optTestSetup(1)", "mnuExit",
                             "xmnuSetup", "xmnuMode",        "xmnuHelp"};

// These enabled states with the named controls enabled or not.
std::map<QString, bool> With(std::map<QString, bool> states, const QStringList& names, bool on) {
  for (const QString& name : names) states[name] = on;
  return states;
}

// A click on a control as the window system delivers one: queued until the window next lets
// user input in.
void QueueClick(QWidget& control) {
  QWidget& top = *control.window();
  const QPointF local = control.mapTo(&top, control.rect().center());
  const QPointF global = control.mapToGlobal(control.rect().center());
  using Queued = QWindowSystemInterface::AsynchronousDelivery;
  for (const auto& [buttons, type] : {std::pair(Qt::LeftButton, QEvent::MouseButtonPress),
                                     std::pair(Qt::NoButton, QEvent::MouseButtonRelease)}) {
    QWindowSystemInterface::handleMouseEvent<Queued>(top.windowHandle(), local, global, buttons,
                                                     Qt::LeftButton, type);
  }
}

}  // namespace

TEST(WindowPortsAtStartUp, TheSavedPortReopensAt8192AGoneOneIsReportedAndInvalidOnesIgnored) {
  for (const char* saved : {"", "0", "17", "-2", "x", " 3", " 4"}) {
    SCOPED_TRACE(saved);
    const bool reopened = saved == std::string(" 3"), gone = saved == std::string(" 4");
    WindowHarness harness;
    harness.ports.Assign(3, "sim");
    if (*saved) SaveAppSetting("SerialPortInfo", "ComPort", saved);
    harness.Window().InitComPorts();
    EXPECT_EQ(harness.Label("lblComStat"), reopened ? "COM 3 Open" : "No Com Selected");
    EXPECT_EQ(harness.Label("lblBaudVal"), reopened ? " 8192" : gone ? "<Baud Rate>" : "Not Set");
    EXPECT_EQ(harness.Checked("mnuSetupComPort"), std::vector<int>{reopened ? 3 : 0});
    EXPECT_EQ(harness.Window().Port().MSComm1.PortOpen(), reopened);
    if (reopened) {
      EXPECT_EQ(harness.DeviceRate(), 8192u);
    }
    EXPECT_EQ(harness.beeps, gone ? 1 : 0);
    ASSERT_EQ(harness.boxes.size(), gone ? 1u : 0u);
    if (gone) {
      EXPECT_EQ(harness.boxes[0].said,
                "Find SIO Ports: Previous ComPort is no longer available.\r\n"
                "Make a new selection from the Setup-ComPort menu");
    }
  }
}

TEST_F(WindowTest, AChosenPortOpensAt8192WithBaudSelectAndNoSelectionClosesIt) {
  ports.Assign(3, "sim");
  const MSComm& comm = Start().Port().MSComm1;
  const QAction& baudSelect = *Get<QMenu>("XmnuSelectBaud").menuAction();
  OpenSetup(*this);
  EXPECT_FALSE(baudSelect.isEnabled());
  Choose("mnuSetupComPort(3)");
  OpenSetup(*this);
  EXPECT_TRUE(baudSelect.isEnabled());
  EXPECT_EQ(Label("lblComStat") + Label("lblBaudVal"), "Com 3 open 8192");
  EXPECT_EQ(Checked("mnuSelectBaud"), std::vector<int>{3});
  Choose("mnuSelectBaud(5)");
  OpenSetup(*this);
  EXPECT_EQ(Checked("mnuSelectBaud"), std::vector<int>{5});
  EXPECT_EQ(Label("lblBaudVal") + " " + QString::number(DeviceRate()), " 19200 19200");
  Choose("mnuSetupComPort(0)");
  EXPECT_EQ(Label("lblComStat") + Label("lblBaudVal"), "No Com SelectedNot Set");
  EXPECT_FALSE(comm.PortOpen());
}

TEST_F(WindowTest, ARefusedRateSaysSoAndLeavesNoRateChecked) {
  Start(3, "sim:std-rates");
  Choose("mnuSelectBaud(3)");
  OpenSetup(*this);
  EXPECT_TRUE(Checked("mnuSelectBaud").empty());
  EXPECT_EQ(Label("lblBaudVal"), "Error Setting Baud");
}

TEST_F(WindowTest, BusyAndMissingPortsAreGreyedWithTheReasonAndABusyChoiceIsStillSaved) {
  PtyPair busy, takenLater;
  const auto otherProgram = OpenTtyDevice(busy.SlavePath());
  ports.Assign(2, takenLater.SlavePath());
  ports.Assign(3, "sim");
  ports.Assign(5, busy.SlavePath());
  Start();
  const QList<QAction*> entries = Get<QMenu>("xmnuSetupComPort").actions();
  ASSERT_EQ(entries.size(), 17);
  // The tooltip: the device, what it is, and for a greyed entry why.
  const auto pty = [](const PtyPair& pair) {
    return "\npseudo-terminal pts/" + pair.SlavePath().substr(pair.SlavePath().rfind('/') + 1);
  };
  for (int n = 1; n <= 16; ++n) {
    const std::string device = ports.Device(n);
    const std::string tip = n == 2   ? device + pty(takenLater)
                            : n == 3 ? "sim\nsimulated adaptor"
                            : n == 5 ? device + pty(busy) + "\n" + device +
                                           " is busy: another program has it open"
                                     : device + "\n" + device + " does not exist";
    EXPECT_EQ(entries[n]->isEnabled(), n == 2 || n == 3) << n;
    EXPECT_EQ(entries[n]->toolTip().toStdString(), tip);
  }
  const auto anotherProgram = OpenTtyDevice(takenLater.SlavePath());
  Choose("mnuSetupComPort(2)");
  EXPECT_EQ(Label("lblComStat") + Label("lblBaudVal"), "Unable to open Com 2Not Set");
  Window().close();
  EXPECT_EQ(Stored("SerialPortInfo/ComPort"), " 2");
}

// Diagnostic mode copies the lines into its boxes, which then switch only their line; without a
// port they switch nothing, and re-entering the mode shows the lines again.
TEST(WindowLinePower, TheBoxesSwitchOnlyTheirLineAndOnlyWithAPort) {
  for (const char* device : {"sim", ""}) {
    SCOPED_TRACE(*device ? "with a port" : "without a port");
    WindowHarness harness;
    PortContext& port = harness.Start(*device ? 3 : 0, device).Port();
    const auto lines = [&] { return std::pair(port.MSComm1.DTREnable(), port.MSComm1.RTSEnable()); };
    const auto off = std::pair(false, false);
    if (*device) harness.Choose("mnuSelectBaud(5)");
    SetLinePower(port, true, false);
    EXPECT_TRUE(harness.Get("fraDiagMode").isHidden());
    harness.Choose("mnuModeDiag");
    EXPECT_EQ(std::pair(harness.Ticked("mnuModeTest"), harness.Ticked("mnuModeDiag")),
              std::pair(false, true));
    EXPECT_TRUE(harness.Get("fraTestMode").isHidden());
    EXPECT_FALSE(harness.Get("cmdStart").isEnabled());
    EXPECT_EQ(std::pair(harness.Ticked("chkDtrPwr"), harness.Ticked("chkRtsPwr")),
              *device ? std::pair(true, false) : off);
    harness.Click("chkRtsPwr");
    EXPECT_EQ(lines(), *device ? std::pair(true, true) : off);
    harness.Click("chkDtrPwr");
    EXPECT_EQ(lines(), *device ? std::pair(false, true) : off);
    harness.Choose("mnuModeDiag");
    EXPECT_EQ(std::pair(harness.Ticked("chkDtrPwr"), harness.Ticked("chkRtsPwr")), lines());
    if (*device) {
      EXPECT_EQ(harness.DeviceRate(), 19200u);
    }
    harness.Click("cmdSendChars");
    EXPECT_EQ(port.MSComm1.PortOpen(), *device != 0);
  }
}

TEST_F(WindowTest, SendCharsDiscardsPendingOutputAndSends256TimesHex55) {
  MSComm& comm = Start(3, "sim").Port().MSComm1;
  Choose("mnuSelectBaud(0)");
  Choose("mnuModeDiag");
  comm.SetOutput(ByteBuffer(1000, 0x00));
  Click("cmdSendChars");
  EXPECT_EQ(comm.OutBufferCount(), 256);
  clock.Advance(256 * 10 * 1000 / 1200 + 100);
  EXPECT_EQ(comm.Input(), ByteBuffer(256, 0x55));
}

TEST_F(WindowTest, MessagesAppendAtTheEndAndANonEmptyStatusReplacesTheLabelOnOneLine) {
  auto& report = Get<QPlainTextEdit>("txtStatus");
  report.moveCursor(QTextCursor::Start);
  QKeyEvent typed(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "X");
  QApplication::sendEvent(&report, &typed);
  Window().ReportStatus("abc", "", false);
  EXPECT_EQ(Report() + Label("lblStatMon"), "X<Test Report>\nabc<Test Status>");
  Window().ReportStatus("def\r\n", "OK", false);
  EXPECT_EQ(Report() + Label("lblStatMon"), "X<Test Report>\nabcdef\nOK");
  // The longest status a run shows, with the report's line breaks it carries.
  Window().ReportStatus("", " >>Baud set to 115200\r\n\r\n", false);
  const QLabel& label = Get<QLabel>("lblStatMon");
  EXPECT_EQ(label.text(), QString(" >>Baud set to 115200"));
  EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), label.contentsRect().width());
  EXPECT_LE(label.fontMetrics().height(), label.contentsRect().height());
  Window().ReportStatus("ignored", "ignored", true);
  EXPECT_EQ(Report() + Label("lblStatMon"), "");
}

// The option buttons are one stop, at the chosen one; Start Test is off in diagnostic mode.
TEST_F(WindowTest, TabAndShiftTabWalkTheWholeFocusOrderInEitherMode) {
  const std::tuple<const char*, const char*, QStringList> modes[] = {
      {"mnuModeTest", "optTestSetup(0)",
       {"optTestSetup(0)", "cmdStart", "cmdStop", "txtStatus", "cmdExit"}},
      {"mnuModeTest", "optTestSetup(1)",
       {"optTestSetup(1)", "cmdStart", "cmdStop", "txtStatus", "cmdExit"}},
      {"mnuModeDiag", "optTestSetup(0)",
       {"cmdStop", "txtStatus", "cmdExit", "cmdSendChars", "chkDtrPwr", "chkRtsPwr"}}};
  Start(3, "sim");
  Window().activateWindow();
  QApplication::processEvents();
  const auto walk = [this](int key, int presses) {
    QStringList reached;
    for (int i = 0; i < presses; ++i) {
      // As the keyboard sends them, with the tab character a text box would type.
      QKeyEvent press(QEvent::KeyPress, key,
                      key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier, "\t");
      QApplication::sendEvent(Window().focusWidget(), &press);
      reached << Window().focusWidget()->objectName();
    }
    return reached;
  };
  for (const auto& [mode, option, order] : modes) {
    SCOPED_TRACE(order.join(' ').toStdString());
    Choose(mode);
    Click(option);
    Get(order.front()).setFocus();
    EXPECT_EQ(walk(Qt::Key_Tab, order.size()), order.mid(1) << order.front());
    EXPECT_EQ(walk(Qt::Key_Backtab, order.size()), QStringList(order.rbegin(), order.rend()));
  }
}

// After each kind of run the Baud label names the rate in force or the fault the run found.
TEST(WindowTestRuns, TheVerdictAndTheBaudLabelAfterEachKindOfRun) {
  const char* const fast = "optTestSetup(0)";
  const char* const extended = "optTestSetup(1)";
  const struct {
    const char* device;
    int chosenRate;  // entry of Baud Select
    const char* option;
    const char* verdict;
    QColor colour;
    const char* baudLabel;
    std::uint32_t deviceRate;
  } runs[] = {{"sim", 3, fast, "Fast Test Passed!", Qt::green, " 8192 Baud", 8192},
              {"sim", 5, fast, "Fast Test Passed!", Qt::green, " 19200 Baud", 19200},
              {"sim", 5, extended, "Extended Test Passed!", Qt::green, " 19200 Baud", 19200},
              {"sim:std-rates", 4, extended, "Unable to set BAUD", Qt::white, "Baud Error", 9600},
              {"sim:rate=7500", 3, fast, "Fast Test Failed!", Qt::red, "Baud Rate Error", 8192},
              {"sim:dead", 3, fast, "Fast Test Failed!", Qt::red, "Baud Error", 8192}};
  for (const auto& run : runs) {
    SCOPED_TRACE(std::string(run.device) + " " + run.option + " " + run.baudLabel);
    WindowHarness harness;
    harness.Start(3, run.device);
    harness.Choose(ControlArrayName("mnuSelectBaud", run.chosenRate));
    harness.Click(run.option);
    const auto before = harness.EnabledStates();
    harness.Click("cmdStart");
    EXPECT_EQ(harness.Label("lblStatMon"), run.verdict);
    EXPECT_EQ(harness.Get("lblStatMon").palette().color(QPalette::Window), run.colour);
    EXPECT_EQ(harness.Label("lblBaudVal"), run.baudLabel);
    EXPECT_EQ(harness.DeviceRate(), run.deviceRate);
    EXPECT_EQ(harness.EnabledStates(), With(before, kLocked, true));
  }
}

TEST(WindowTestRuns, StopTestOrClosingTheWindowHaltsARunInWhichOnlyStopTestIsUsable) {
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "closing the window" : "Stop Test");
    WindowHarness harness;
    frmBaudTest& window = harness.Start(3, "sim");
    const auto before = harness.EnabledStates();
    QTimer::singleShot(0, &window, [&] {
      EXPECT_EQ(harness.EnabledStates(), With(before, kLocked, false));
      closing ? (void)window.close() : harness.Click("cmdStop");
      EXPECT_TRUE(window.isVisible());
      EXPECT_TRUE(harness.Stored("MainFormInfo/Left").isNull());
    });
    harness.Click("cmdStart");
    EXPECT_TRUE(harness.Report().endsWith("Phase1 Test Passed\n\n*User Halted Test*"));
    EXPECT_EQ(window.isVisible(), !closing);
    EXPECT_EQ(window.Port().MSComm1.PortOpen(), !closing);
    EXPECT_EQ(harness.Stored("MainFormInfo/Left"), closing ? " 0" : QString());
    EXPECT_EQ(harness.EnabledStates(), With(before, kLocked, true));
  }
}

// A cable pulled during a run: the window stops claiming the port is open and ready, keeps its
// number for shutdown to save, and Start Test waits for a new choice.
TEST_F(WindowTest, APortLostDuringARunEndsInTheFailedOpenState) {
  Start(3, "sim:unplug=1000");
  Click("cmdStart");
  EXPECT_EQ(Label("lblStatMon"), "Fast Test Failed!");
  EXPECT_EQ(Label("lblComStat"), "Unable to open Com 3");
  EXPECT_EQ(Checked("mnuSetupComPort"), std::vector<int>{0});
  EXPECT_FALSE(Get("cmdStart").isEnabled());
  EXPECT_FALSE(Window().Port().state.PortReady);
  Window().close();
  EXPECT_EQ(Stored("SerialPortInfo/ComPort"), " 3");
}

// While a block is sent and received, and during the transfer-speed check, the window repaints
// but a click waits for the next pause: one on Stop Test during phase 1's exchange stops the
// run after phase 2, one during phase 4 is handled in the closing pause and changes nothing.
TEST(WindowTestRuns, AClickDuringAnExchangeWaitsForTheNextPause) {
  const std::tuple<QString, QString, QString> cases[] = {
      {"-->Sending Test Data...\n", "-->Enabling RTS only power...\n",
       "Phase2 Test Passed\n\n*User Halted Test*"},
      {"several seconds...\n", "Difference 0.0%\n\n", "Fast Test complete, all phases passed"}};
  for (const auto& [queuedAfter, handledAfter, reportEnd] : cases) {
    SCOPED_TRACE(queuedAfter.toStdString());
    WindowHarness harness;
    harness.Start(3, "sim");
    bool queued = false;
    QString reportAtClick;
    QObject::connect(&harness.Get<QPlainTextEdit>("txtStatus"), &QPlainTextEdit::textChanged, [&] {
      if (!queued && harness.Report().endsWith(queuedAfter)) {
        QueueClick(harness.Get("cmdStop"));
        queued = true;
      }
    });
    QObject::connect(&harness.Get<QPushButton>("cmdStop"), &QPushButton::clicked,
                     [&] { reportAtClick = harness.Report(); });
    harness.Click("cmdStart");
    EXPECT_TRUE(reportAtClick.endsWith(handledAfter)) << reportAtClick.toStdString();
    EXPECT_TRUE(harness.Report().endsWith(reportEnd)) << harness.Report().toStdString();
  }
}
