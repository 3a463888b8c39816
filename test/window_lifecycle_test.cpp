// Start-up placement, shutdown and its saved settings, the About box.

#include <gtest/gtest.h>

#include <QFile>
#include <QMenuBar>
#include <functional>

#include "app/twips.h"
#include "common/number_text.h"
#include "support/window_harness.h"

namespace {

QPoint TwipsPoint(int left, int top) { return {TwipsToPixelsX(left), TwipsToPixelsY(top)}; }

QString AsStored(int number) { return QString::fromStdString(NumberText(number)); }

void StorePlace(WindowHarness& harness, const QString& left, const QString& top) {
  harness.Store("MainFormInfo", "Left", left);
  harness.Store("MainFormInfo", "Top", top);
}

}  // namespace

TEST(WindowPlacement, FirstStartOpensAtTheOriginWithTheClientAreaExactlyFrame1) {
  WindowHarness harness;
  frmBaudTest& window = harness.Start();
  EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(0, 0));
  ASSERT_EQ(window.centralWidget(), &harness.Get<QWidget>("Frame1"));
  EXPECT_EQ(window.centralWidget()->size(), TwipsRect(0, 0, 5955, 8235).size());
  EXPECT_EQ(window.size(), window.centralWidget()->size() + QSize(0, window.menuBar()->height()));
}

TEST(WindowPlacement, StoredEdgesPlaceTheWindowUnlessUnusableOrShownOnNoScreen) {
  const struct {
    const char* left;
    const char* top;
    QPoint expected;
  } cases[] = {{" 1440", "720 ", TwipsPoint(1440, 720)},
               {"-300", " 9000", TwipsPoint(-300, 9000)},  // partly visible
               {"12<none>", " 720", TwipsPoint(0, 720)},
               {"abc", "1.5", {0, 0}},
               {"40000", "-40000", {0, 0}},
               {"66976", "", {0, 0}},
               {" 30000", " 0", {0, 0}},  // right of the screen
               {" 0", " 30000", {0, 0}}};
  for (const auto& place : cases) {
    SCOPED_TRACE(std::string(place.left) + "," + place.top);
    WindowHarness harness;
    StorePlace(harness, place.left, place.top);
    EXPECT_EQ(harness.Start().frameGeometry().topLeft(), place.expected);
  }
}

TEST(WindowShutdown, ClosingInTheNormalStateSavesThePortAndTheOuterRectangle) {
  WindowHarness harness;
  frmBaudTest& window = harness.StartWithSavedPort(3, "sim");
  window.move(TwipsPoint(2880, 1440));
  const QSize outer = window.frameGeometry().size();
  window.close();
  EXPECT_EQ(harness.Stored("SerialPortInfo", "ComPort"), " 3");
  EXPECT_EQ(harness.Stored("MainFormInfo", "Left"), " 2880");
  EXPECT_EQ(harness.Stored("MainFormInfo", "Top"), " 1440");
  EXPECT_EQ(harness.Stored("MainFormInfo", "Width"), AsStored(PixelsToTwipsX(outer.width())));
  EXPECT_EQ(harness.Stored("MainFormInfo", "Height"), AsStored(PixelsToTwipsY(outer.height())));
}

TEST(WindowShutdown, ClosingMinimisedOrMaximisedSavesOnlyThePortAndTheNextStartIgnoresTheSize) {
  for (const auto enterState : {&QWidget::showMinimized, &QWidget::showMaximized}) {
    WindowHarness harness;
    StorePlace(harness, " 1440", " 720");
    harness.Store("MainFormInfo", "Width", " 111");
    harness.Store("MainFormInfo", "Height", " 222");
    const QSize size = harness.Start().frameGeometry().size();
    harness.Window().move(0, 0);
    (harness.Window().*enterState)();
    harness.Window().close();
    EXPECT_EQ(harness.Stored("SerialPortInfo", "ComPort"), " 0");
    EXPECT_EQ(harness.Stored("MainFormInfo", "Width"), " 111");
    EXPECT_EQ(harness.Stored("MainFormInfo", "Height"), " 222");
    EXPECT_EQ(harness.Start().frameGeometry(), QRect(TwipsPoint(1440, 720), size));
  }
}

TEST(WindowShutdown, ExitButtonExitMenuAndWindowCloseRunTheSameShutdown) {
  const std::function<void(WindowHarness&)> ways[] = {
      [](WindowHarness& h) { h.Click("cmdExit"); }, [](WindowHarness& h) { h.Choose("mnuExit"); },
      [](WindowHarness& h) { h.Window().close(); }};
  for (const auto& exit : ways) {
    WindowHarness harness;
    ASSERT_TRUE(harness.StartWithSavedPort(3, "sim").Port().MSComm1.PortOpen());
    exit(harness);
    EXPECT_FALSE(harness.Window().isVisible());
    EXPECT_FALSE(harness.Window().Port().MSComm1.PortOpen());
    EXPECT_EQ(harness.Stored("SerialPortInfo", "ComPort"), " 3");
    EXPECT_EQ(harness.Stored("MainFormInfo", "Left"), " 0");
  }
}

TEST(WindowShutdown, AnUnwritableSettingsStoreStopsNeitherStartUpNorShutdown) {
  WindowHarness harness;
  QFile notAFolder(harness.SettingsFolder() + "/file");
  ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
  harness.PointSettingsAt(notAFolder.fileName());
  frmBaudTest& window = harness.Start();
  EXPECT_EQ(harness.Label("lblComStat"), "No Com Selected");
  window.close();
  EXPECT_FALSE(window.isVisible());
}

TEST(WindowAbout, ShowsTheVersionAndBuildDateInAnInformationBoxCentredOverTheWindow) {
  WindowHarness harness;
  harness.Start().move(TwipsPoint(1500, 1500));
  harness.Choose("mnuHelpAbout");
  ASSERT_EQ(harness.Boxes().size(), 1u);
  const ShownBox& box = harness.Boxes().front();
  EXPECT_TRUE(
      box.text.startsWith("ALDL Interface Test Program, Version " ALDL_PROJECT_VERSION "   "));
  EXPECT_TRUE(box.text.endsWith(ALDL_BUILD_DATE));
  EXPECT_EQ(box.title, "Help About");
  EXPECT_EQ(box.icon, QMessageBox::Information);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_TRUE(CentredOverOwner(box));
}
