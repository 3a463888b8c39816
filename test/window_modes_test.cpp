// Test mode, diagnostic mode, the power boxes and Send Chars.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>

#include "serial/MSComm.h"
#include "support/window_harness.h"

namespace {

bool Checked(WindowHarness& harness, const QString& box) {
  return harness.Get<QAbstractButton>(box).isChecked();
}

}  // namespace

TEST(WindowModes, StartUpEndsInTestMode) {
  WindowHarness harness;
  harness.Start();
  EXPECT_TRUE(harness.Get<QAction>("mnuModeTest").isChecked());
  EXPECT_FALSE(harness.Get<QAction>("mnuModeDiag").isChecked());
  EXPECT_FALSE(harness.Get<QWidget>("fraTestMode").isHidden());
  EXPECT_TRUE(harness.Get<QWidget>("fraDiagMode").isHidden());
  EXPECT_TRUE(harness.Get<QWidget>("cmdStart").isEnabled());
  EXPECT_FALSE(harness.Get<QWidget>("cmdSendChars").isEnabled());
}

TEST(WindowModes, DiagnosticModeCopiesTheLinesAndEachBoxSwitchesOnlyItsLine) {
  WindowHarness harness;
  frmBaudTest& window = harness.StartWithSavedPort(3, "sim");
  const MSComm& comm = window.Port().MSComm1;
  SetLinePower(window.Port(), true, false);
  harness.Choose("mnuModeDiag");
  EXPECT_TRUE(harness.Get<QAction>("mnuModeDiag").isChecked());
  EXPECT_FALSE(harness.Get<QAction>("mnuModeTest").isChecked());
  EXPECT_TRUE(harness.Get<QWidget>("fraTestMode").isHidden());
  EXPECT_FALSE(harness.Get<QWidget>("fraDiagMode").isHidden());
  EXPECT_FALSE(harness.Get<QWidget>("cmdStart").isEnabled());
  EXPECT_TRUE(Checked(harness, "chkDtrPwr"));
  EXPECT_FALSE(Checked(harness, "chkRtsPwr"));
  EXPECT_TRUE(comm.DTREnable());
  EXPECT_FALSE(comm.RTSEnable());

  harness.Click("chkDtrPwr");
  EXPECT_FALSE(comm.DTREnable());
  EXPECT_FALSE(comm.RTSEnable());
  harness.Click("chkRtsPwr");
  EXPECT_FALSE(comm.DTREnable());
  EXPECT_TRUE(comm.RTSEnable());
  EXPECT_EQ(harness.DeviceRate(), 8192u);

  harness.Choose("mnuModeTest");
  EXPECT_FALSE(comm.DTREnable());
  EXPECT_TRUE(comm.RTSEnable());
  EXPECT_FALSE(harness.Get<QWidget>("fraTestMode").isHidden());
  EXPECT_TRUE(harness.Get<QWidget>("fraDiagMode").isHidden());
}

TEST(WindowModes, WithoutAReadyPortABoxSwitchesNoLineAndReenteringRestoresItsMark) {
  WindowHarness harness;
  const MSComm& comm = harness.Start().Port().MSComm1;
  harness.Choose("mnuModeDiag");
  ASSERT_FALSE(Checked(harness, "chkDtrPwr"));
  harness.Click("chkDtrPwr");
  EXPECT_TRUE(Checked(harness, "chkDtrPwr"));
  EXPECT_FALSE(comm.DTREnable());
  harness.Choose("mnuModeDiag");
  EXPECT_FALSE(Checked(harness, "chkDtrPwr"));
}

TEST(WindowModes, SendCharsDiscardsPendingOutputAndSends256TimesHex55) {
  WindowHarness harness;
  MSComm& comm = harness.StartWithSavedPort(3, "sim").Port().MSComm1;
  harness.Choose("mnuSelectBaud(0)");
  harness.Choose("mnuModeDiag");
  comm.SetOutput(ByteBuffer(1000, 0x00));
  harness.Click("cmdSendChars");
  EXPECT_EQ(comm.OutBufferCount(), 256);

  harness.clock.Advance(256 * 10 * 1000 / 1200 + 100);
  EXPECT_EQ(comm.OutBufferCount(), 0);
  EXPECT_EQ(comm.Input(), ByteBuffer(256, 0x55));
}

TEST(WindowModes, SendCharsWithoutAnOpenPortSendsNothing) {
  WindowHarness harness;
  harness.Start();
  harness.Choose("mnuModeDiag");
  harness.Click("cmdSendChars");
  EXPECT_FALSE(harness.Window().Port().MSComm1.PortOpen());
}
