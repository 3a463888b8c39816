// The window in use: the saved port, the power lines, the two modes, the report panel, and Start
// and Stop Test on the simulated adaptor and the fake clock.

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include "support/window_harness.h"

namespace {

// What a running test locks, then Stop Test, which it leaves usable.
const QStringList kRunControls = {"cmdStart",        "cmdExit",   "cmdSendChars", "chkDtrPwr",
                                  "chkRtsPwr",       "mnuExit",   "optTestSetup(0)", "optTestSetup(1)",
                                  "optTestSetup(2)", "xmnuSetup", "xmnuMode",     "xmnuHelp",
                                  "cmdStop"};

// A click on a control as the window system delivers one: queued until the window next lets
// user input in.
void QueueClick(QWidget& control) {
  const QPoint centre = control.rect().center();
  for (const auto& [type, buttons] : {std::pair(QEvent::MouseButtonPress, Qt::LeftButton),
                                      std::pair(QEvent::MouseButtonRelease, Qt::NoButton)}) {
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        control.window()->windowHandle(), control.mapTo(control.window(), centre),
        control.mapToGlobal(centre), buttons, Qt::LeftButton, type);
  }
}

}  // namespace

TEST(WindowPorts, TheSavedPortReopensAt8192AGoneOneIsReportedAndInvalidOnesIgnored) {
  for (const char* saved : {"", "0", "17", "-2", "x", " 3", " 4"}) {
    SCOPED_TRACE(saved);
    const bool reopened = saved == std::string(" 3"), gone = saved == std::string(" 4");
    WindowHarness harness;
    harness.ports.Assign(3, "sim");
    if (*saved) SaveAppSetting("SerialPortInfo", "ComPort", saved);
    harness.Start();
    EXPECT_EQ(harness.Label("lblComStat"), reopened ? "COM 3 Open" : "No Com Selected");
    EXPECT_EQ(harness.Label("lblBaudVal"), reopened ? " 8192" : gone ? "<Baud Rate>" : "Not Set");
    EXPECT_TRUE(harness.Get<QAction>(ControlArrayName("mnuSetupComPort", reopened ? 3 : 0)).isChecked());
    EXPECT_EQ(harness.DeviceRate(), reopened ? 8192u : 0u);
    EXPECT_EQ(harness.beeps, gone ? 1 : 0);
    const QString goneSaid = "Find SIO Ports: Previous ComPort is no longer available.\r\n"
                             "Make a new selection from the Setup-ComPort menu";
    EXPECT_EQ(harness.shownBoxes, gone ? QStringList{goneSaid} : QStringList());
  }
}

// Diagnostic mode copies the lines into its boxes, which then switch only their line; without a
// port they switch nothing, and re-entering the mode shows the lines again. Send Chars discards
// the output still pending and sends 256 x 0x55.
TEST(WindowDiagnostics, TheBoxesSwitchOnlyTheirLineAndOnlyWithAPortAndSendCharsSends256TimesHex55) {
  for (const bool with : {true, false}) {
    SCOPED_TRACE(with ? "with a port" : "without a port");
    WindowHarness harness;
    PortContext& port = harness.Start(with ? 3 : 0, "sim").Port();
    MSComm& comm = port.MSComm1;
    const auto lines = [&] { return std::pair(comm.DTREnable(), comm.RTSEnable()); };
    auto& dtr = harness.Get<QAbstractButton>("chkDtrPwr");
    auto& rts = harness.Get<QAbstractButton>("chkRtsPwr");
    SetLinePower(port, true, false);
    harness.Choose("mnuModeDiag");
    EXPECT_EQ(std::pair(dtr.isChecked(), rts.isChecked()), std::pair(with, false));
    rts.click();
    EXPECT_EQ(lines(), std::pair(with, with));
    dtr.click();
    EXPECT_EQ(lines(), std::pair(false, with));
    harness.Choose("mnuModeDiag");
    EXPECT_EQ(std::pair(dtr.isChecked(), rts.isChecked()), lines());
    EXPECT_EQ(harness.DeviceRate(), with ? 8192u : 0u) << "switching a line keeps the rate";
    if (with) comm.SetOutput(ByteBuffer(1000, 0x00));
    harness.Click("cmdSendChars");
    if (with) {
      EXPECT_EQ(comm.OutBufferCount(), 256);
      harness.clock.Advance(1000);
      EXPECT_EQ(comm.Input(), ByteBuffer(256, 0x55));
    }
  }
}

// Messages go to the end, wherever the caret is; clearing empties the report and the label.
TEST_F(WindowTest, MessagesAppendAtTheEndAndTheStatusLabelShowsOneLineThatFits) {
  Start();
  Get<QPlainTextEdit>("txtStatus").moveCursor(QTextCursor::Start);
  Window().ReportStatus("abc\r\n", "", false);
  // The longest status a run shows, with the report's line breaks it carries.
  Window().ReportStatus("def", " >>Baud set to 115200\r\n\r\n", false);
  EXPECT_EQ(Report() + Label("lblStatMon"), "<Test Report>\nabc\ndef >>Baud set to 115200");
  const QLabel& label = Get<QLabel>("lblStatMon");
  EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), label.contentsRect().width());
  EXPECT_LE(label.fontMetrics().height(), label.contentsRect().height());
  Window().ReportStatus("ignored", "ignored", true);
  EXPECT_EQ(Report() + Label("lblStatMon"), "");
}

// The user may type into the report, but undo takes back only what was typed, never a test's
// lines. Save Report As, on the box's context menu, writes what the box shows, CRLF and UTF-8,
// after where it came from.
TEST_F(WindowTest, UndoTakesBackOnlyTypingAndSaveReportAsKeepsTheReportWithWhereItCameFrom) {
  Start(3, "sim");
  auto& box = Get<QPlainTextEdit>("txtStatus");
  const auto type = [&box](const QString& text) {
    box.moveCursor(QTextCursor::End);
    for (const QChar character : text) {
      const int code = character == '\n' ? Qt::Key_Return : 0;
      QKeyEvent key(QEvent::KeyPress, code, Qt::NoModifier, character);
      QApplication::sendEvent(&box, &key);
    }
  };
  const auto undoAll = [&box] {
    for (int i = 0; i < 50; ++i) {
      QKeyEvent key(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, "\x1a");
      QApplication::sendEvent(&box, &key);
    }
  };
  Click("cmdStart");
  const QString result = Report();
  ASSERT_TRUE(result.endsWith("Fast Test complete, all phases passed")) << result.toStdString();
  type(" - ok");
  EXPECT_EQ(Report(), result + " - ok");
  undoAll();
  EXPECT_EQ(Report(), result);
  type("\ncable 2 at 20\u00b0C");

  QStringList menu;
  QTimer::singleShot(0, [&menu] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!popup) return;
    for (const QAction* entry : popup->actions()) menu << entry->text();
    popup->close();
  });
  emit box.customContextMenuRequested(box.rect().center());
  EXPECT_EQ(menu.mid(menu.size() - 2), QStringList({"", "Save Report As..."}));

  // As the dialog gives it back: with any link in the temporary folder's path resolved.
  QTemporaryDir temporary;
  const QString folder = QDir(temporary.path()).canonicalPath();
  fileChosen = folder + "/report.txt";
  Choose("mnuSaveReport");
  QFile saved(fileChosen);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  EXPECT_TRUE(bytes.endsWith("passed\r\ncable 2 at 20\xc2\xb0" "C"));
  const QString text = QString::fromUtf8(bytes);
  const QString head = text.section("\r\n", 0, 4) + "\r\n";
  EXPECT_TRUE(QRegularExpression("^GM ALDL OBD1 Interface Tester report\r\n"
                                 "Date:    \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n"
                                 "Port:    COM 3, sim\r\n"
                                 "Adaptor: simulated adaptor\r\n\r\n$")
                  .match(head)
                  .hasMatch())
      << head.toStdString();
  EXPECT_EQ(text.mid(head.size()), QString(Report()).replace("\n", "\r\n"));
}

// Enter, main or keypad, presses the focused button as Space does; after a run, however started,
// the focus is back on Start Test. Tab and Shift+Tab walk the whole focus order in either mode:
// the option buttons are one stop, at the chosen one; Start Test is off in diagnostic mode.
TEST_F(WindowTest, EnterPressesTheFocusedButtonARunGivesTheFocusBackAndTabWalksTheFocusOrder) {
  MSComm& comm = Start(3, "sim").Port().MSComm1;
  Window().activateWindow();
  QApplication::processEvents();
  // As the keyboard sends them, with the character a text box would type.
  const auto press = [this](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, key == Qt::Key_Tab || key == Qt::Key_Backtab ? "\t" : "\r");
    QApplication::sendEvent(Window().focusWidget(), &event);
    return Window().focusWidget()->objectName();
  };
  Get("cmdStart").setFocus();
  press(Qt::Key_Return);
  EXPECT_EQ(Label("lblStatMon"), "Fast Test Passed!");
  EXPECT_EQ(Window().focusWidget()->objectName(), "cmdStart");
  Get("txtStatus").setFocus();
  Click("cmdStart");
  EXPECT_EQ(Window().focusWidget()->objectName(), "cmdStart");

  Click("optTestSetup(1)");
  const std::pair<const char*, QStringList> modes[] = {
      {"mnuModeTest", {"optTestSetup(1)", "cmdStart", "cmdStop", "txtStatus", "cmdExit"}},
      {"mnuModeDiag", {"cmdStop", "txtStatus", "cmdExit", "cmdSendChars", "chkDtrPwr", "chkRtsPwr"}}};
  for (const auto& [mode, order] : modes) {
    SCOPED_TRACE(mode);
    Choose(mode);
    Get(order.front()).setFocus();
    QStringList reached;
    for (qsizetype i = 0; i < 2 * order.size(); ++i) {
      reached << (i < order.size() ? press(Qt::Key_Tab) : press(Qt::Key_Backtab, Qt::ShiftModifier));
    }
    EXPECT_EQ(reached, (order.mid(1) << order.front()) + QStringList(order.rbegin(), order.rend()));
  }
  Get("cmdSendChars").setFocus();
  press(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(comm.OutBufferCount(), 256);
}

// After each kind of run the Baud label names the rate in force or the fault the run found. A
// port lost during a run ends in the failed-open state, and its number is still saved.
TEST(WindowTestRuns, TheVerdictTheBaudLabelAndThePortAfterEachKindOfRun) {
  // The device, Baud Select's entry, the test, its verdict and colour, the Baud label, the rate
  // the device is left at (0 when the port was lost), and how the diagnosis that ends the report
  // after a failure begins (none after a pass).
  const std::tuple<const char*, int, const char*, const char*, QColor, const char*, unsigned, QString> runs[] = {
      {"sim", 3, "optTestSetup(0)", "Fast Test Passed!", Qt::green, " 8192 Baud", 8192, ""},
      {"sim", 5, "optTestSetup(1)", "Extended Test Passed!", Qt::green, " 19200 Baud", 19200, ""},
      {"sim:std-rates", 4, "optTestSetup(1)", "Unable to set BAUD", Qt::white, "Baud Error", 9600,
       "Exiting the test procedure.\n\nDiagnosis\n  Likely cause: The port would not take 8192 baud"},
      {"sim:rate=7500", 3, "optTestSetup(0)", "Fast Test Failed!", Qt::red, "Baud Rate Error", 8192,
       "errors occurred\n\nDiagnosis\n  Likely cause: The line runs about 8% slow"},
      {"sim:unplug=1000", 3, "optTestSetup(0)", "Fast Test Failed!", Qt::red, "Not Set", 0,
       "errors occurred\n\nDiagnosis\n  Likely cause: The port went away"},
      {"sim:chatter", 3, "optTestSetup(2)", "Car Link Test Passed!", Qt::green, " 8192 Baud", 8192, ""},
      // The window sends its user to its own menu, not to a command.
      {"sim:car,unplug=1000", 3, "optTestSetup(2)", "Car Link Test Failed!", Qt::red, "Not Set", 0,
       "errors occurred\n\nDiagnosis\n  Likely cause: The port went away during the car link test"
       ": the adaptor was unplugged or lost contact, or the USB hub it is on lost power.\n  What to do:   "
       "Plug the adaptor firmly into the computer itself or into a powered hub, check that its port is back "
       "(Setup > Com Port"}};
  for (const auto& [device, chosenRate, option, verdict, colour, baudLabel, deviceRate, diagnosis] : runs) {
    SCOPED_TRACE(std::string(device) + " " + option + " " + baudLabel);
    WindowHarness harness;
    harness.Start(3, device);
    harness.Choose(ControlArrayName("mnuSelectBaud", chosenRate));
    harness.Click(option);
    // As on a screen too short for the whole box: four lines.
    auto& box = harness.Get<QPlainTextEdit>("txtStatus");
    box.resize(box.width(), 4 * box.fontMetrics().lineSpacing() + 2 * box.frameWidth());
    harness.Click("cmdStart");
    EXPECT_EQ(harness.Label("lblStatMon"), verdict);
    EXPECT_EQ(harness.Get("lblStatMon").palette().color(QPalette::Window), colour);
    EXPECT_EQ(harness.Label("lblBaudVal"), baudLabel);
    EXPECT_EQ(harness.DeviceRate(), deviceRate);
    EXPECT_EQ(harness.Label("lblComStat"), deviceRate ? "COM 3 Open" : "Unable to open Com 3");
    const QString report = harness.Report();
    if (diagnosis.isEmpty()) {
      EXPECT_TRUE(report.contains(QRegularExpression(" Test complete, (all phases passed|ECU F4 answered)$")))
          << report.toStdString();
    } else {
      EXPECT_TRUE(report.contains(diagnosis)) << report.toStdString();
      EXPECT_TRUE(report.section("  What to do:   ", -1).endsWith(".\n")) << "the fix is the report's end";
      // The box wraps the cause and the fix itself, and shows the diagnosis from its heading.
      EXPECT_FALSE(report.section("Diagnosis\n", -1).contains(QRegularExpression("\n {3}")));
      const QTextCursor heading = box.document()->find(QRegularExpression("^Diagnosis$"));
      EXPECT_TRUE(box.viewport()->rect().contains(box.cursorRect(heading))) << "the heading is in view";
    }
    emit harness.Get<QMenu>("xmnuSetup").aboutToShow();
    // Everything the run locked is usable again; after a lost port, Baud Select and Start Test wait
    // for a new choice.
    const QStringList usable = QStringList{"XmnuSelectBaud"} + kRunControls;
    EXPECT_EQ(harness.Enabled(usable), deviceRate ? usable : usable.mid(2));
    harness.Window().close();
    EXPECT_EQ(harness.Stored("SerialPortInfo", "ComPort"), " 3");
  }
}

// Setup > Car Link's choices go to the car link test and are kept for the next start.
TEST(WindowCarLink, TheEcuAndTheQuietBusAreAskedAsChosenAndKept) {
  WindowHarness harness;
  harness.Start(3, "sim:ecu=F5");
  harness.Choose(ControlArrayName("mnuCarLinkEcu", 2));
  harness.Choose("mnuCarLinkQuietBus");
  harness.Click("optTestSetup(2)");
  harness.Click("cmdStart");
  EXPECT_EQ(harness.Label("lblStatMon"), "Car Link Test Passed!");
  EXPECT_TRUE(harness.Report().contains("Sending F5 56 08 AD")) << harness.Report().toStdString();
  EXPECT_FALSE(harness.Report().contains("Asking ECU F4"));
  harness.Window().close();
  EXPECT_EQ(harness.Stored("CarLinkInfo", "EcuId"), " 245");
  EXPECT_EQ(harness.Stored("CarLinkInfo", "QuietBus"), "-1");
  harness.Start();
  EXPECT_TRUE(harness.Get<QAction>(ControlArrayName("mnuCarLinkEcu", 2)).isChecked());
  EXPECT_TRUE(harness.Get<QAction>("mnuCarLinkQuietBus").isChecked());
  EXPECT_TRUE(harness.Get<QAbstractButton>("optTestSetup(0)").isChecked()) << "the Fast Test is chosen at start";
}

// During a run only Stop Test is usable. While a block is sent and received, and during the
// transfer-speed check, the window repaints but a click waits for the next pause: Stop Test
// queued during phase 1's exchange stops the run after phase 2, one queued during phase 4 is
// handled in the closing pause and changes nothing. Closing the window halts the run and closes
// it once the run has returned.
TEST(WindowTestRuns, StopTestOrClosingHaltsARunAndAClickDuringAnExchangeWaitsForTheNextPause) {
  const std::tuple<QString, QString, QString> cases[] = {
      {"cmdStop", "-->Sending Test Data...\n", "Phase2 Test Passed\n\n*User Halted Test*"},
      {"cmdStop", "several seconds...\n", "Fast Test complete, all phases passed"},
      {"close", "-->Sending Test Data...\n", "Phase1 Test Passed\n\n*User Halted Test*"}};
  for (const auto& [action, actAfter, reportEnd] : cases) {
    SCOPED_TRACE((action + " after " + actAfter).toStdString());
    WindowHarness harness;
    frmBaudTest& window = harness.Start(3, "sim");
    bool acted = false;
    QObject::connect(&harness.Get<QPlainTextEdit>("txtStatus"), &QPlainTextEdit::textChanged, [&] {
      if (acted || !harness.Report().endsWith(actAfter)) return;
      acted = true;
      EXPECT_EQ(harness.Enabled(kRunControls), QStringList{"cmdStop"});
      action == "close" ? (void)window.close() : QueueClick(harness.Get(action));
    });
    harness.Click("cmdStart");
    EXPECT_TRUE(harness.Report().endsWith(reportEnd)) << harness.Report().toStdString();
    EXPECT_EQ(window.isVisible(), action != "close");
  }
}
