// The window from start-up to shutdown: placement, saved settings, flags, message boxes.

#include <QActionGroup>
#include <QFile>
#include <QScreen>

#include "app/twips.h"
#include "msgbox/MMsgBoxPos.h"
#include "support/window_harness.h"

// The primary screen is 12000 x 12000 twips; a second one starts at 39000 twips. Every way out
// saves the port (none here), and the outer rectangle only in the normal state.
TEST(WindowPlace, AStoredPlaceIsUsedOnlyWithTitleAndMenuBarOnScreenAndEveryWayOutSavesThePlace) {
  using Way = void (*)(WindowHarness&);
  const Way exitButton = [](WindowHarness& harness) { harness.Click("cmdExit"); };
  const Way exitEntry = [](WindowHarness& harness) { harness.Choose("mnuExit"); };
  const Way close = [](WindowHarness& harness) { harness.Window().close(); };
  const std::tuple<const char*, const char*, const char*, int, int, Qt::WindowState, Way> cases[] = {
      {"nothing stored", nullptr, nullptr, 0, 0, Qt::WindowNoState, exitButton},
      {"padded numbers", " 1440", "720 ", 1440, 720, Qt::WindowNoState, exitEntry},
      {"<none> in the text", "12<none>", " 720", 0, 720, Qt::WindowMinimized, close},
      {"not whole numbers", "abc", "1.5", 0, 0, Qt::WindowMaximized, close},
      {"past 16 bits, in 32 on the second screen", "40000", " 720", 0, 720, Qt::WindowNoState, close},
      {"past 16 bits below zero", " 1440", "-40000", 1440, 0, Qt::WindowNoState, close},
      {"lower part below the screen", " 4500", " 10500", 4500, 10500, Qt::WindowNoState, close},
      {"title bar's left end off the screen", "-300", " 9000", 0, 0, Qt::WindowNoState, close},
      {"title bar above the screen", " 1440", "-300", 0, 0, Qt::WindowNoState, close},
      {"menu bar below the screen", " 1440", " 11490", 0, 0, Qt::WindowNoState, close},
      {"right end past the screen", " 7500", " 720", 0, 0, Qt::WindowNoState, close}};
  for (const auto& [name, left, top, leftTwips, topTwips, state, leave] : cases) {
    SCOPED_TRACE(name);
    WindowHarness harness;
    if (left) SaveAppSetting("MainFormInfo", "Left", left);
    if (top) SaveAppSetting("MainFormInfo", "Top", top);
    frmBaudTest& window = harness.Start();
    const QRect outer = window.frameGeometry();
    EXPECT_EQ(outer.topLeft(), QPoint(TwipsToPixelsX(leftTwips), TwipsToPixelsY(topTwips)));
    window.setWindowState(state);
    leave(harness);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(harness.Stored("SerialPortInfo", "ComPort"), " 0");
    QString place;
    for (const char* key : {"Left", "Top", "Width", "Height"}) place += harness.Stored("MainFormInfo", key);
    const QString normal = QString(" %1 %2 %3 %4").arg(leftTwips).arg(topTwips);
    EXPECT_EQ(place, state == Qt::WindowNoState ? normal.arg(PixelsToTwipsX(outer.width()))
                                                       .arg(PixelsToTwipsY(outer.height()))
                                                 : QString(left) + top);
  }
}

TEST_F(WindowTest, NoMaximiseButtonAndEachOneOfManyChoiceIsAnExclusiveGroup) {
  EXPECT_FALSE(Start().windowFlags() & Qt::WindowMaximizeButtonHint);
  // Baud Select shows no rate after a refused one; the others always show exactly one choice.
  using Policy = QActionGroup::ExclusionPolicy;
  const std::tuple<QString, QString, int, Policy> groups[] = {
      {"mnuSetupComPort(0)", "mnuSetupComPort(16)", 17, Policy::Exclusive},
      {"mnuSelectBaud(0)", "mnuSelectBaud(7)", 8, Policy::ExclusiveOptional},
      {"mnuModeTest", "mnuModeDiag", 2, Policy::Exclusive}};
  for (const auto& [first, last, size, policy] : groups) {
    SCOPED_TRACE(first.toStdString());
    const QActionGroup* group = Get<QAction>(first).actionGroup();
    ASSERT_TRUE(group);
    EXPECT_EQ(group->exclusionPolicy(), policy);
    EXPECT_EQ(group->actions().size(), size);
    EXPECT_EQ(Get<QAction>(last).actionGroup(), group);
  }
}

TEST_F(WindowTest, AnUnwritableSettingsStoreStopsNeitherStartUpNorShutdown) {
  QFile notAFolder(settingsDir.filePath("file"));
  ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, notAFolder.fileName());
  Start().close();
  EXPECT_EQ(Label("lblComStat"), "No Com Selected");
  EXPECT_FALSE(Window().isVisible());
}

// Every box is centred by its frame over the window's frame, halving in whole pixels, and kept on
// the screen: the one at start-up over the frame the window is shown with, then About in the
// middle, past the top left corner and past the bottom right one.
TEST_F(WindowTest, BoxesAreCentredByTheirFrameOverTheWindowsFrameOnScreenAndTitledExactly) {
  SaveAppSetting("MainFormInfo", "Left", " 3000");
  SaveAppSetting("MainFormInfo", "Top", " 1500");
  std::vector<QRect> owners{Start(4).frameGeometry()};
  EXPECT_NE(owners[0], Window().geometry()) << "the window has a frame";
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  for (const QPoint place : {QPoint(150, 150), QPoint(-300, -300), screen.bottomRight()}) {
    Window().move(place);
    owners.push_back(Window().frameGeometry());
    Choose("mnuHelpAbout");
  }
  Click("cmdStart");
  QString none;
  ShowMsgBox("text", kMsgBoxInformation, none, &Window());
  ASSERT_EQ(boxFrames.size(), 6u);
  for (std::size_t i = 0; i < 2; ++i) {
    const QSize box = boxFrames[i].size(), owner = owners[i].size();
    const QPoint centred(owner.width() / 2 - box.width() / 2, owner.height() / 2 - box.height() / 2);
    EXPECT_EQ(boxFrames[i].topLeft(), owners[i].topLeft() + centred) << i;
  }
  EXPECT_EQ(boxFrames[2].topLeft(), QPoint(0, 0));
  EXPECT_EQ(boxFrames[3].bottomRight(), screen.bottomRight());
  EXPECT_EQ(shownBoxes[1], "Help About: ALDL Interface Test Program, Version " ALDL_PROJECT_VERSION
                           "   Built " ALDL_BUILD_DATE);
  // Start Test without a port beeps, says so and changes nothing.
  EXPECT_EQ(shownBoxes[4], "Run Test: Com Port is not selected, cannot run test");
  EXPECT_EQ(beeps, 2);
  EXPECT_EQ(Report() + Label("lblStatMon"), "<Test Report>\n<Test Status>");
  EXPECT_EQ(shownBoxes[5], "GM ALDL OBD1 Interface Tester: text");
  // Qt appends a display name, when the application sets one, to every title it shows.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "aldl-tester");
}
