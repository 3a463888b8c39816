// The report box and status label, and the controls locked while a test runs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include "support/window_harness.h"

namespace {

// The controls whose enabled state differs.
QStringList Changed(const std::map<QString, bool>& before, const std::map<QString, bool>& after) {
  QStringList changed;
  for (const auto& [name, enabled] : after) {
    if (before.at(name) != enabled) changed << name;
  }
  return changed;
}

}  // namespace

TEST(WindowReport, ClearEmptiesBothAndMessagesAppendWhileAnEmptyStatusKeepsTheLabel) {
  WindowHarness harness;
  frmBaudTest& window = harness.Window();
  window.ReportStatus("ignored", "ignored", true);
  EXPECT_EQ(harness.Report(), "");
  EXPECT_EQ(harness.Label("lblStatMon"), "");

  window.ReportStatus("first\r\n", "Busy", false);
  window.ReportStatus("abc", "", false);
  EXPECT_EQ(harness.Report(), "first\nabc");
  EXPECT_EQ(harness.Label("lblStatMon"), "Busy");
  window.ReportStatus("def", "OK", false);
  EXPECT_EQ(harness.Report(), "first\nabcdef");
  EXPECT_EQ(harness.Label("lblStatMon"), "OK");
}

TEST(WindowReport, AppendsAtTheEndAfterTheUserMovedTheCaretAndTyped) {
  WindowHarness harness;
  auto& report = harness.Get<QPlainTextEdit>("txtStatus");
  report.moveCursor(QTextCursor::Start);
  QKeyEvent typed(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "X");
  QApplication::sendEvent(&report, &typed);
  harness.Window().ReportStatus("abc", "", false);
  EXPECT_EQ(harness.Report(), "X<Test Report>\nabc");
}

TEST(WindowReport, EnableStartSwitchesOnlyStartTest) {
  WindowHarness harness;
  const auto before = harness.EnabledStates();
  harness.Window().EnableStart(false);
  EXPECT_EQ(Changed(before, harness.EnabledStates()), QStringList{"cmdStart"});
}

TEST(WindowReport, TestBusyLocksExactlyItsControlsAndUnlockingEnablesStartAgain) {
  WindowHarness harness;
  frmBaudTest& window = harness.Window();
  const auto before = harness.EnabledStates();
  window.SetTestBusy(true);
  QStringList locked = kLockedDuringTest;
  locked.sort();
  EXPECT_EQ(Changed(before, harness.EnabledStates()), locked);
  EXPECT_TRUE(harness.EnabledStates().at("cmdStop"));

  window.EnableStart(false);
  window.SetTestBusy(false);
  EXPECT_TRUE(Changed(before, harness.EnabledStates()).empty());
}
