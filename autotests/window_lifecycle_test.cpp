// The window from start-up to shutdown: placement, saved settings, flags, message boxes.

#include <QActionGroup>
#include <QPlainTextEdit>
#include <QScreen>
#include <map>
#include <qpa/qwindowsysteminterface.h>

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

// Every box is centred by its frame over the window's frame, halving in whole pixels, and kept on
// the screen: the one at start-up over the frame the window is shown with, then About in the
// middle, past the top left corner and past the bottom right one.
TEST_F(WindowTest, BoxesAreCentredByTheirFrameOverTheWindowsFrameOnScreenAndTitledExactly) {
  SaveAppSetting("MainFormInfo", "Left", " 3000");
  SaveAppSetting("MainFormInfo", "Top", " 1500");
  std::vector<QRect> owners{Start(4).frameGeometry()};
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

// On a screen too short for the window (200% on a 1920 x 1080 screen with a panel) the report
// box gives up the missing height, down to four lines; every other control keeps its place and
// size. The screen's free height is set as the window system reports a change.
TEST(WindowPlace, OnAScreenTooShortTheReportBoxGivesUpHeightFirst) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect whole = screen->geometry(), free = screen->availableGeometry();
  const auto setFreeHeight = [&](int height) {
    const QRect freePart(free.topLeft(), QSize(free.width(), height));
    QWindowSystemInterface::handleScreenGeometryChange(screen, whole, freePart);
    QWindowSystemInterface::flushWindowSystemEvents();
  };
  const auto places = [](WindowHarness& harness) {
    std::map<QString, QRect> places;
    for (const QWidget* control : harness.Window().findChildren<QWidget*>()) {
      const QString name = control->objectName();
      if (!name.isEmpty() && !name.startsWith("qt_")) places[name] = control->geometry();
    }
    return places;
  };
  WindowHarness roomy;
  const int tall = roomy.Start().frameGeometry().height();
  auto expected = places(roomy);
  const int report = expected["txtStatus"].height();
  for (const int freeHeight : {540 - 30, 300}) {
    SCOPED_TRACE(freeHeight);
    setFreeHeight(freeHeight);
    WindowHarness harness;
    const frmBaudTest& window = harness.Start();
    const QPlainTextEdit& box = harness.Get<QPlainTextEdit>("txtStatus");
    const int gaveUp = report - box.height();
    EXPECT_EQ(window.frameGeometry().height(), tall - gaveUp);
    if (freeHeight > 400) {
      EXPECT_LE(window.frameGeometry().height(), freeHeight);
      EXPECT_GT(window.frameGeometry().height(), freeHeight - 40) << "no more given up than needed";
    } else {
      EXPECT_GE(box.contentsRect().height(), 4 * box.fontMetrics().lineSpacing());
      EXPECT_LT(box.contentsRect().height(), 5 * box.fontMetrics().lineSpacing());
    }
    auto now = places(harness);
    expected["txtStatus"].setHeight(box.height());
    expected["Frame1"].setHeight(now["Frame1"].height());
    EXPECT_EQ(now, expected);
  }
  setFreeHeight(free.height());
}

// Under a dark desktop palette the status labels keep black text on their own white, green or
// red, and so does the Test Status label after each verdict.
TEST(WindowLook, UnderADarkPaletteTheStatusLabelsKeepBlackText) {
  const QPalette desktop = QApplication::palette();
  QPalette dark = desktop;
  dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
  dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
  QApplication::setPalette(dark);
  for (const char* device : {"sim", "sim:dead"}) {
    SCOPED_TRACE(device);
    WindowHarness harness;
    harness.Start(3, device);
    harness.Click("cmdStart");
    for (const char* name : {"lblComStat", "lblBaudVal", "lblStatMon"}) {
      const QPalette shown = harness.Get(name).palette();
      EXPECT_EQ(shown.color(QPalette::WindowText), QColor(Qt::black)) << name;
      EXPECT_NE(shown.color(QPalette::Window), dark.color(QPalette::Window)) << name;
    }
  }
  QApplication::setPalette(desktop);
}
