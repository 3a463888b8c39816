// The window on Linux's own devices and limits: ports that are busy, missing, plugged in or
// pulled, played by ptys and links to them; a disk that cannot take a report.

#include <sys/resource.h>
#include <unistd.h>

#include <QActionGroup>
#include <QFile>
#include <csignal>

#include "serial/linux/tty_device.h"
#include "support/pty_pair.h"
#include "support/window_harness.h"

// Busy and missing ports are greyed with the reason in the tooltip; a line held in exclusive mode,
// which only an open finds, says so in its tooltip once chosen. Baud Select checks the rate in
// force, and none after a refused one. A busy choice is still saved.
TEST_F(WindowTest, ThePortMenusGreyWhatCannotOpenSetTheChosenPortAndRateAndSaveEvenABusyChoice) {
  PtyPair busy, takenLater, exclusive;
  const auto otherProgram = OpenTtyDevice(busy.SlavePath());
  exclusive.MakeExclusive();
  ports.Assign(6, exclusive.SlavePath());
  ports.Assign(2, takenLater.SlavePath());
  ports.Assign(3, "sim");
  ports.Assign(4, "sim:std-rates");
  ports.Assign(5, busy.SlavePath());
  Start();
  const QList<QAction*> entries = Get<QMenu>("xmnuSetupComPort").actions();
  ASSERT_EQ(entries.size(), 17);
  for (int n = 1; n <= 16; ++n) EXPECT_EQ(entries[n]->isEnabled(), n >= 2 && n <= 6 && n != 5) << n;
  // The tooltip: the device, what it is, and for a greyed entry why.
  const QString missing = QString::fromStdString(ports.Device(1));
  EXPECT_EQ(entries[1]->toolTip(), missing + "\n" + missing + " does not exist");
  EXPECT_EQ(entries[3]->toolTip(), "sim\nsimulated adaptor");
  EXPECT_TRUE(entries[5]->toolTip().endsWith(
      QString::fromStdString("\n" + busy.SlavePath() + " is busy: another program has it open (window_tests, "
                             "process " + std::to_string(getpid()) + ")")));
  Choose("mnuSetupComPort(6)");
  EXPECT_EQ(Label("lblComStat"), "Unable to open Com 6");
  EXPECT_TRUE(entries[6]->toolTip().endsWith("is busy: held in exclusive mode by another program"))
      << entries[6]->toolTip().toStdString();
  Choose("mnuSetupComPort(3)");
  // The Setup menu opened, as the user does before reaching Baud Select.
  emit Get<QMenu>("xmnuSetup").aboutToShow();
  EXPECT_EQ(Label("lblComStat") + Label("lblBaudVal"), "Com 3 open 8192");
  EXPECT_TRUE(Get<QAction>("mnuSelectBaud(3)").isChecked());
  EXPECT_EQ(DeviceRate(), 8192u);
  Choose("mnuSelectBaud(5)");
  EXPECT_TRUE(Get<QAction>("mnuSelectBaud(5)").isChecked());
  EXPECT_EQ(Label("lblBaudVal") + " " + QString::number(DeviceRate()), " 19200 19200");
  Choose("mnuSetupComPort(4)");
  Choose("mnuSelectBaud(3)");
  emit Get<QMenu>("xmnuSetup").aboutToShow();
  EXPECT_FALSE(Get<QAction>("mnuSelectBaud(0)").actionGroup()->checkedAction());
  EXPECT_EQ(Label("lblBaudVal"), "Error Setting Baud");
  Choose("mnuSetupComPort(0)");
  EXPECT_EQ(Label("lblComStat") + Label("lblBaudVal"), "No Com SelectedNot Set");
  EXPECT_EQ(DeviceRate(), 0u);
  const auto anotherProgram = OpenTtyDevice(takenLater.SlavePath());
  Choose("mnuSetupComPort(2)");
  EXPECT_EQ(Label("lblComStat") + Label("lblBaudVal"), "Unable to open Com 2Not Set");
  Window().close();
  EXPECT_EQ(Stored("SerialPortInfo", "ComPort"), " 2");
}

// Each opening of the Setup menu shows the ports as they are now: a cable plugged in after
// start-up is offered, one pulled since greys out, and the window's own open port stays enabled.
TEST_F(WindowTest, OpeningTheSetupMenuOffersAPortPluggedInSinceAndGreysOnePulled) {
  PtyPair ours, cable;
  QTemporaryDir folder;
  const QString plugged = folder.filePath("ttyUSB0");
  ports.Assign(1, plugged.toStdString());
  Start(5, ours.SlavePath());
  QAction& com6 = Get<QAction>(ControlArrayName("mnuSetupComPort", 1));
  const QString caption = com6.text();
  const auto openSetup = [this] { emit Get<QMenu>("xmnuSetup").aboutToShow(); };
  EXPECT_FALSE(com6.isEnabled());
  ASSERT_EQ(symlink(cable.SlavePath().c_str(), plugged.toUtf8().constData()), 0);
  openSetup();
  EXPECT_TRUE(com6.isEnabled());
  EXPECT_EQ(com6.toolTip().section('\n', 0, 0), plugged);
  EXPECT_FALSE(com6.toolTip().contains("does not exist"));
  ASSERT_TRUE(QFile::remove(plugged));
  openSetup();
  EXPECT_FALSE(com6.isEnabled());
  EXPECT_EQ(com6.toolTip(), plugged + "\n" + plugged + " does not exist");
  EXPECT_EQ(com6.text(), caption);
  EXPECT_TRUE(Get<QAction>(ControlArrayName("mnuSetupComPort", 5)).isEnabled());
  EXPECT_EQ(Label("lblComStat"), "COM 5 Open");
}

// Saving over a report already there, on a disk that cannot take the new one (here a file size
// limit), says why and leaves the old report whole.
TEST_F(WindowTest, SaveReportAsWhereTheDiskCannotTakeItKeepsTheOldFile) {
  Start(3, "sim");
  Click("cmdStart");
  QTemporaryDir folder;
  fileChosen = folder.filePath("report.txt");
  QFile old(fileChosen);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("the old report\n") > 0);
  old.close();
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  const rlimit small{64, before.rlim_max};
  setrlimit(RLIMIT_FSIZE, &small);
  Choose("mnuSaveReport");
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previous);
  ASSERT_FALSE(shownBoxes.empty());
  EXPECT_TRUE(shownBoxes.back().contains("The report was not saved to") && shownBoxes.back().contains("File too large"))
      << shownBoxes.back().toStdString();
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "the old report\n");
}
