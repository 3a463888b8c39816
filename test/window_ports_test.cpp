// The Com Port menu, restoring the saved port, Baud Select and the power lines.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <optional>

#include "serial/tty_device.h"
#include "support/pty_pair.h"
#include "support/window_harness.h"

namespace {

// No Selection the one checked entry, Start Test disabled, no port ready.
void ExpectNoPort(WindowHarness& harness, const QString& comStatus, const QString& baudValue) {
  EXPECT_EQ(harness.Label("lblComStat"), comStatus);
  EXPECT_EQ(harness.Label("lblBaudVal"), baudValue);
  EXPECT_EQ(harness.Checked("mnuSetupComPort"), std::vector<int>{0});
  EXPECT_FALSE(harness.Get<QWidget>("cmdStart").isEnabled());
  EXPECT_FALSE(harness.Window().Port().state.PortReady);
}

}  // namespace

TEST(WindowPorts, NoUsableSavedPortSelectsNoneSilently) {
  const std::optional<QString> cases[] = {std::nullopt, "0", "17", "-2", "x"};
  for (const auto& saved : cases) {
    SCOPED_TRACE(saved.value_or("nothing").toStdString());
    WindowHarness harness;
    harness.Assign(1, "sim");
    if (saved) harness.Store("SerialPortInfo", "ComPort", *saved);
    harness.Window().InitComPorts();
    ExpectNoPort(harness, "No Com Selected", "Not Set");
    EXPECT_FALSE(harness.Window().Port().MSComm1.PortOpen());
    EXPECT_TRUE(harness.Boxes().empty());
    EXPECT_EQ(harness.beeps, 0);
  }
}

TEST(WindowPorts, TheSavedPortIsReopenedAt8192) {
  WindowHarness harness;
  const PortState& state = harness.StartWithSavedPort(3, "sim").Port().state;
  EXPECT_EQ(harness.Label("lblComStat"), "COM 3 Open");
  EXPECT_EQ(harness.Label("lblBaudVal"), " 8192");
  EXPECT_EQ(harness.Checked("mnuSetupComPort"), std::vector<int>{3});
  EXPECT_TRUE(harness.Get<QWidget>("cmdStart").isEnabled());
  EXPECT_TRUE(state.PortReady);
  EXPECT_EQ(state.CurrentPort, 3);
  EXPECT_EQ(state.CurrentBaud, 8192);
  EXPECT_EQ(harness.DeviceRate(), 8192u);
}

TEST(WindowPorts, ASavedPortThatIsGoneIsReportedInABoxCentredOverTheWindow) {
  WindowHarness harness;
  harness.Store("SerialPortInfo", "ComPort", " 3");
  harness.Start();
  EXPECT_EQ(harness.Label("lblComStat"), "No Com Selected");
  EXPECT_EQ(harness.Label("lblBaudVal"), "<Baud Rate>");
  EXPECT_EQ(harness.Checked("mnuSetupComPort"), std::vector<int>{0});
  EXPECT_EQ(harness.beeps, 1);
  ASSERT_EQ(harness.Boxes().size(), 1u);
  const ShownBox& box = harness.Boxes().front();
  EXPECT_EQ(box.text,
            "Previous ComPort is no longer available.\r\n"
            "Make a new selection from the Setup-ComPort menu");
  EXPECT_EQ(box.title, "Find SIO Ports");
  EXPECT_EQ(box.icon, QMessageBox::Information);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_TRUE(CentredOverOwner(box));
}

TEST(WindowPorts, ChoosingAPortOpensItAndNoSelectionClosesIt) {
  WindowHarness harness;
  harness.Assign(3, "sim");
  const MSComm& comm = harness.Start().Port().MSComm1;
  harness.Choose("mnuSetupComPort(3)");
  EXPECT_EQ(harness.Label("lblComStat"), "Com 3 open");
  EXPECT_EQ(harness.Label("lblBaudVal"), " 8192");
  EXPECT_EQ(harness.Checked("mnuSetupComPort"), std::vector<int>{3});
  EXPECT_TRUE(comm.PortOpen());

  harness.Choose("mnuSetupComPort(0)");
  ExpectNoPort(harness, "No Com Selected", "Not Set");
  EXPECT_FALSE(comm.PortOpen());
}

TEST(WindowPorts, APortAnotherProgramTookIsNotSelectedButShutdownSavesItsNumber) {
  PtyPair pty;
  WindowHarness harness;
  harness.Assign(2, pty.SlavePath());
  frmBaudTest& window = harness.Start();
  ASSERT_TRUE(harness.Get<QAction>("mnuSetupComPort(2)").isEnabled());
  const auto otherProgram = OpenTtyDevice(pty.SlavePath());
  harness.Choose("mnuSetupComPort(2)");
  ExpectNoPort(harness, "Unable to open Com 2", "Not Set");
  EXPECT_EQ(window.Port().state.CurrentPort, 2);
  window.close();
  EXPECT_EQ(harness.Stored("SerialPortInfo", "ComPort"), " 2");
}

TEST(WindowPorts, EveryComEntryExistsAndItsTooltipSaysWhyItCannotBeChosen) {
  PtyPair busyPty;
  const auto otherProgram = OpenTtyDevice(busyPty.SlavePath());
  WindowHarness harness;
  harness.Assign(3, "sim");
  harness.Assign(5, busyPty.SlavePath());
  harness.Start();
  const QList<QAction*> entries = harness.Get<QMenu>("xmnuSetupComPort").actions();
  ASSERT_EQ(entries.size(), 17);
  for (int n = 1; n <= 16; ++n) {
    SCOPED_TRACE(n);
    const QAction& entry = *entries[n];
    EXPECT_EQ(entry.objectName(), ControlArrayName("mnuSetupComPort", n));
    EXPECT_EQ(entry.text(), QStringLiteral("COM %1").arg(n));
    EXPECT_EQ(entry.isEnabled(), n == 3);
    const std::string why = n == 3   ? "sim"
                            : n == 5 ? busyPty.SlavePath() + " is busy: another program has it open"
                                     : harness.MissingDevice(n) + " does not exist";
    EXPECT_EQ(entry.toolTip().toStdString(), why);
  }
}

TEST(WindowBaudSelect, IsReachableOnlyWithAReadyPortAndChecksTheRateInForce) {
  WindowHarness harness;
  harness.Assign(3, "sim");
  harness.Start();
  const QAction& baudSelect = *harness.Get<QMenu>("XmnuSelectBaud").menuAction();
  harness.OpenSetupMenu();
  EXPECT_FALSE(baudSelect.isEnabled());

  harness.Choose("mnuSetupComPort(3)");
  harness.OpenSetupMenu();
  EXPECT_TRUE(baudSelect.isEnabled());
  EXPECT_EQ(harness.Checked("mnuSelectBaud"), std::vector<int>{3});

  harness.Choose("mnuSelectBaud(5)");
  EXPECT_EQ(harness.Label("lblBaudVal"), " 19200");
  EXPECT_EQ(harness.Window().Port().state.CurrentBaud, 19200);
  EXPECT_EQ(harness.DeviceRate(), 19200u);
  harness.OpenSetupMenu();
  EXPECT_EQ(harness.Checked("mnuSelectBaud"), std::vector<int>{5});
}

TEST(WindowBaudSelect, ARefusedRateLeavesNoRateChecked) {
  WindowHarness harness;
  frmBaudTest& window = harness.StartWithSavedPort(3, "sim:std-rates");
  EXPECT_EQ(window.Port().state.CurrentBaud, 0);
  harness.OpenSetupMenu();
  EXPECT_TRUE(harness.Checked("mnuSelectBaud").empty());

  harness.Choose("mnuSelectBaud(3)");
  EXPECT_EQ(harness.Label("lblBaudVal"), "Error Setting Baud");
  EXPECT_EQ(window.Port().state.CurrentBaud, 0);
  EXPECT_TRUE(window.Port().MSComm1.PortOpen());
  harness.OpenSetupMenu();
  EXPECT_TRUE(harness.Checked("mnuSelectBaud").empty());
}

TEST(WindowLinePower, SwitchesOnlyTheLinesOfAReadyPortAndRestoresItsRate) {
  WindowHarness harness;
  PortContext& port = harness.StartWithSavedPort(3, "sim").Port();
  harness.Choose("mnuSelectBaud(5)");
  SetLinePower(port, true, false);
  EXPECT_TRUE(port.MSComm1.DTREnable());
  EXPECT_FALSE(port.MSComm1.RTSEnable());
  EXPECT_EQ(harness.DeviceRate(), 19200u);
  EXPECT_TRUE(port.state.PortReady);
  EXPECT_EQ(port.state.CurrentBaud, 19200);

  harness.Choose("mnuSetupComPort(0)");
  SetLinePower(port, false, false);
  EXPECT_TRUE(port.MSComm1.DTREnable());
  EXPECT_FALSE(port.MSComm1.PortOpen());
}
