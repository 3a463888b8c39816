// Start Test and Stop Test in the window, on the simulated adaptor and the fake clock.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>
#include <functional>

#include "support/window_harness.h"

namespace {

QStringList LockedControlsEnabled(WindowHarness& harness) {
  const auto states = harness.EnabledStates();
  QStringList enabled;
  for (const QString& name : kLockedDuringTest) {
    if (states.at(name)) enabled << name;
  }
  return enabled;
}

QColor StatusColour(WindowHarness& harness) {
  return harness.Get<QLabel>("lblStatMon").palette().color(QPalette::Window);
}

// Clicks Start Test and does this inside the test's first pause.
void StartTestAndDuringItsFirstPause(WindowHarness& harness, const std::function<void()>& during) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    during();
  });
  harness.Click("cmdStart");
  EXPECT_TRUE(ran);
}

}  // namespace

TEST(WindowTestRun, StartWithoutAPortBeepsAndSaysSoAndChangesNothing) {
  WindowHarness harness;
  harness.Start();
  const auto states = harness.EnabledStates();
  harness.Click("cmdStart");
  EXPECT_EQ(harness.beeps, 1);
  ASSERT_EQ(harness.Boxes().size(), 1u);
  const ShownBox& box = harness.Boxes().front();
  EXPECT_EQ(box.text, "Com Port is not selected, cannot run test");
  EXPECT_EQ(box.title, "Run Test");
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_EQ(harness.Report(), "<Test Report>\n");
  EXPECT_EQ(harness.Label("lblStatMon"), "<Test Status>");
  EXPECT_EQ(harness.EnabledStates(), states);
}

TEST(WindowTestRun, FastTestPassesGreenAndLeavesThePortAtTheChosenRate) {
  WindowHarness harness;
  frmBaudTest& window = harness.StartWithSavedPort(3, "sim");
  harness.Choose("mnuSelectBaud(5)");
  harness.Click("cmdStart");
  EXPECT_EQ(harness.Label("lblStatMon"), "Fast Test Passed!");
  EXPECT_TRUE(harness.Report().endsWith("\nFast Test complete, all phases passed"));
  EXPECT_EQ(StatusColour(harness), QColor(0, 255, 0));
  EXPECT_EQ(harness.DeviceRate(), 19200u);
  EXPECT_EQ(window.Port().state.CurrentBaud, 19200);
  EXPECT_EQ(LockedControlsEnabled(harness), kLockedDuringTest);
}

TEST(WindowTestRun, ExtendedTestRunsWhenChosen) {
  WindowHarness harness;
  harness.StartWithSavedPort(3, "sim");
  harness.Click("optTestSetup(1)");
  harness.Click("cmdStart");
  EXPECT_EQ(harness.Label("lblStatMon"), "Extended Test Passed!");
  EXPECT_TRUE(harness.Report().contains("Setting Baud to  115200:"));
  EXPECT_EQ(StatusColour(harness), QColor(0, 255, 0));
  EXPECT_EQ(harness.DeviceRate(), 8192u);
}

TEST(WindowTestRun, DuringARunOnlyStopTestIsUsableAndItHaltsTheRun) {
  WindowHarness harness;
  harness.StartWithSavedPort(3, "sim");
  StartTestAndDuringItsFirstPause(harness, [&] {
    EXPECT_TRUE(LockedControlsEnabled(harness).empty());
    EXPECT_TRUE(harness.Get<QWidget>("cmdStop").isEnabled());
    harness.Click("cmdStop");
  });
  EXPECT_TRUE(harness.Report().endsWith("Phase1 Test Passed\n\n*User Halted Test*"));
  EXPECT_EQ(harness.Label("lblStatMon"), "*User Halted Test*");
  EXPECT_EQ(LockedControlsEnabled(harness), kLockedDuringTest);
}

TEST(WindowTestRun, ClosingDuringARunStopsItThenClosesAndSavesAfterItReturned) {
  WindowHarness harness;
  frmBaudTest& window = harness.StartWithSavedPort(3, "sim");
  StartTestAndDuringItsFirstPause(harness, [&] {
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(harness.Stored("MainFormInfo", "Left").isNull());
  });
  EXPECT_TRUE(harness.Report().endsWith("*User Halted Test*"));
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(harness.Stored("MainFormInfo", "Left"), " 0");
  EXPECT_FALSE(window.Port().MSComm1.PortOpen());
}
