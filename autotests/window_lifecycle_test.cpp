// The window from start-up to shutdown: placement, saved settings, flags, message boxes.

#include <QActionGroup>
#include <QFile>
#include <QMenuBar>
#include <QScreen>

#include "app/twips.h"
#include "msgbox/MMsgBoxPos.h"
#include "msgbox/keep_rect_on_screen.h"
#include "support/window_harness.h"

namespace {

QPoint TwipsPoint(int left, int top) { return {TwipsToPixelsX(left), TwipsToPixelsY(top)}; }

MsgRect Edges(const QRect& r) { return {r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

// Where a box with this outer size belongs over the owner's outer rectangle on the primary screen.
QRect PlacedOver(const QRect& ownerFrame, const QSize& boxFrame) {
  MsgRect box = CentreOverOwner(Edges(ownerFrame), Edges(QRect(QPoint(), boxFrame)));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  KeepRectOnScreen(box, {screen.width() * 15.0, screen.height() * 15.0, 15, 15});
  return QRect(QPoint(box.left, box.top), QPoint(box.right - 1, box.bottom - 1));
}

}  // namespace

// The primary screen is 12000 x 12000 twips; a second one starts at 39000 twips.
TEST(WindowPlacement, AStoredPlaceIsUsedOnlyWithTitleAndMenuBarOnScreenAndFrame1SizesTheWindow) {
  const std::tuple<const char*, const char*, const char*, int, int> cases[] = {
      {"nothing stored", nullptr, nullptr, 0, 0},
      {"padded numbers", " 1440", "720 ", 1440, 720},
      {"<none> in the text", "12<none>", " 720", 0, 720},
      {"not whole numbers", "abc", "1.5", 0, 0},
      {"past 16 bits, on the second screen if read wider", "40000", " 720", 0, 720},
      {"past 16 bits below zero", " 1440", "-40000", 1440, 0},
      {"lower part below the screen", " 4500", " 10500", 4500, 10500},
      {"title bar's left end off the screen", "-300", " 9000", 0, 0},
      {"title bar above the screen", " 1440", "-300", 0, 0},
      {"menu bar below the screen", " 1440", " 11490", 0, 0},
      {"right end past the screen", " 7500", " 720", 0, 0}};
  for (const auto& [name, left, top, leftTwips, topTwips] : cases) {
    SCOPED_TRACE(name);
    WindowHarness harness;
    if (left) SaveAppSetting("MainFormInfo", "Left", left);
    if (top) SaveAppSetting("MainFormInfo", "Top", top);
    frmBaudTest& window = harness.Start();
    EXPECT_EQ(window.frameGeometry().topLeft(), TwipsPoint(leftTwips, topTwips));
    ASSERT_EQ(window.centralWidget(), &harness.Get("Frame1"));
    EXPECT_EQ(window.centralWidget()->size(), TwipsRect(0, 0, 5955, 8235).size());
    EXPECT_EQ(window.size(), window.centralWidget()->size() + QSize(0, window.menuBar()->height()));
  }
}

TEST_F(WindowTest, NoMaximiseButtonAndEachOneOfManyChoiceIsAnExclusiveGroup) {
  const Qt::WindowFlags flags = Start().windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags.testFlags(Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint));
  using Policy = QActionGroup::ExclusionPolicy;
  const auto entries = [](const char* array, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) names << ControlArrayName(array, i);
    return names;
  };
  // Baud Select shows no rate after a refused one; the others always show exactly one choice.
  const std::pair<QStringList, Policy> groups[] = {
      {entries("mnuSetupComPort", 17), Policy::Exclusive},
      {entries("mnuSelectBaud", 8), Policy::ExclusiveOptional},
      {{"mnuModeTest", "mnuModeDiag"}, Policy::Exclusive}};
  for (const auto& [names, policy] : groups) {
    SCOPED_TRACE(names.front().toStdString());
    const QActionGroup* group = Get<QAction>(names.front()).actionGroup();
    ASSERT_TRUE(group);
    EXPECT_EQ(group->exclusionPolicy(), policy);
    QStringList members;
    for (const QAction* action : group->actions()) members << action->objectName();
    EXPECT_EQ(members, names);
  }
  // Choosing the chosen entry again keeps it chosen.
  Choose("mnuModeTest");
  Choose("mnuSetupComPort(0)");
  EXPECT_EQ(Checked("mnuSetupComPort"), std::vector<int>{0});
  EXPECT_TRUE(Ticked("mnuModeTest"));
}

TEST(WindowShutdown, EveryWayOutSavesThePortAndOnlyInTheNormalStateTheOuterRectangle) {
  const std::tuple<const char*, void (*)(WindowHarness&), bool> ways[] = {
      {"Exit", [](WindowHarness& h) { h.Click("cmdExit"); }, true},
      {"menu Exit", [](WindowHarness& h) { h.Choose("mnuExit"); }, true},
      {"closed", [](WindowHarness& h) { h.Window().close(); }, true},
      {"closed minimised", [](WindowHarness& h) { h.Window().showMinimized(), h.Window().close(); }, false},
      {"closed maximised", [](WindowHarness& h) { h.Window().showMaximized(), h.Window().close(); }, false}};
  const QString keys[] = {"Left", "Top", "Width", "Height"};
  for (const auto& [name, way, normalState] : ways) {
    SCOPED_TRACE(name);
    WindowHarness harness;
    for (const QString& key : keys) SaveAppSetting("MainFormInfo", key, " 99");
    frmBaudTest& window = harness.Start(3, "sim");
    window.move(TwipsPoint(2880, 1440));
    const QSize outer = window.frameGeometry().size();
    way(harness);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Port().MSComm1.PortOpen());
    EXPECT_EQ(harness.Stored("SerialPortInfo/ComPort"), " 3");
    QString place;
    for (const QString& key : keys) place += harness.Stored("MainFormInfo/" + key);
    const QString normal = QString(" 2880 1440 %1 %2")
                               .arg(PixelsToTwipsX(outer.width()))
                               .arg(PixelsToTwipsY(outer.height()));
    EXPECT_EQ(place, normalState ? normal : " 99 99 99 99");
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

// Outer frames as a window manager draws them on a 1024 x 768 screen: a 20-pixel title bar and
// 1-pixel borders around the window's 397 x 568 and About's 442 x 84 pixels.
TEST(MsgBoxPlacement, CentresFrameOverFrameWithWholeNumberHalvingAndKeepsItOnTheScreen) {
  EXPECT_EQ(CentreOverOwner({100, 100, 500, 400}, {0, 0, 201, 101}), (MsgRect{200, 200, 401, 301}));
  const MsgRect about{0, 0, 444, 105}, huge{0, 0, 1224, 968};
  const std::tuple<const char*, MsgRect, MsgRect, MsgRect> cases[] = {
      {"at the top left, moved right", {0, 0, 399, 589}, about, {0, 242, 444, 347}},
      {"in the middle", {200, 100, 599, 689}, about, {177, 342, 621, 447}},
      {"owner above the screen, title bar kept on it", {700, -400, 1099, 189}, about, {580, 0, 1024, 105}},
      {"larger than the screen, its right and bottom on it", {0, 0, 399, 589}, huge, {-200, -200, 1024, 768}}};
  for (const auto& [name, owner, size, expected] : cases) {
    SCOPED_TRACE(name);
    MsgRect box = CentreOverOwner(owner, size);
    KeepRectOnScreen(box, {15360, 11520, 15, 15});
    EXPECT_EQ(box, expected);
  }
}

// Every box has OK only, a frame, and is centred by it over the window's frame, kept on the
// screen: the one at start-up over the frame the window is shown with, then About at three places.
TEST_F(WindowTest, BoxesAreCentredByTheirFrameOverTheWindowsFrameAndTitledExactly) {
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
  ASSERT_EQ(boxes.size(), 6u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_NE(boxes[i].frame, boxes[i].inner) << "the box has a frame";
    EXPECT_EQ(boxes[i].frame, PlacedOver(owners[i], boxes[i].frame.size())) << i;
  }
  EXPECT_EQ(boxes[2].frame.topLeft(), QPoint(0, 0));
  EXPECT_EQ(boxes[3].frame.bottomRight(), screen.bottomRight());
  EXPECT_EQ(boxes[1].said, "Help About: ALDL Interface Test Program, Version " ALDL_PROJECT_VERSION
                           "   Built " ALDL_BUILD_DATE);
  EXPECT_EQ(boxes[1].icon, QMessageBox::Information);
  // Start Test without a port beeps, says so and changes nothing.
  EXPECT_EQ(boxes[4].said, "Run Test: Com Port is not selected, cannot run test");
  EXPECT_EQ(boxes[4].icon, QMessageBox::Critical);
  EXPECT_EQ(beeps, 2);
  EXPECT_EQ(Report() + Label("lblStatMon"), "<Test Report>\n<Test Status>");
  for (const ShownBox& box : boxes) EXPECT_EQ(box.buttons, QMessageBox::Ok) << box.said.toStdString();
  QStringList titles;
  for (const ShownBox& box : boxes) titles << box.title;
  EXPECT_EQ(titles, QStringList({"Find SIO Ports", "Help About", "Help About", "Help About",
                                 "Run Test", "GM ALDL OBD1 Interface Tester"}));
  EXPECT_EQ(none, "GM ALDL OBD1 Interface Tester");
  EXPECT_EQ(Window().windowTitle(), "GM ALDL OBD1 Interface Tester");
  // Qt appends a display name, when the application sets one, to every title it shows.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "aldl-tester");
}
