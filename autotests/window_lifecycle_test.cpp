// The window from creation to shutdown: layout, placement, saved settings, message boxes.

#include <QActionGroup>
#include <QFile>
#include <QMenuBar>
#include <QScreen>

#include "app/twips.h"
#include "msgbox/MMsgBoxPos.h"
#include "msgbox/keep_rect_on_screen.h"
#include "support/window_harness.h"

namespace {

// A control's name, container and caption, and its left, top, width and height in twips.
using Placed = std::tuple<const char*, const char*, const char*, int, int, int, int>;

const Placed kControls[] = {
    {"Label1", "Frame1", "Orvanta ALDL Adaptor Test", 180, 180, 5655, 495},
    {"fraTestMode", "Frame1", "Test Mode", 180, 720, 5595, 1695},
    {"optTestSetup(0)", "fraTestMode", "Fast Test", 180, 480, 2532, 330},
    {"optTestSetup(1)", "fraTestMode", "Extended Test", 180, 960, 2712, 330},
    {"fraDiagMode", "Frame1", "Diagnostic Mode", 180, 720, 5595, 1695},
    {"chkDtrPwr", "fraDiagMode", "DTR Power", 180, 540, 2415, 375},
    {"chkRtsPwr", "fraDiagMode", "RTS Power", 180, 1020, 2415, 375},
    {"cmdSendChars", "fraDiagMode", "Send Chars", 2760, 720, 2412, 435},
    {"Label2", "Frame1", "Com Status:", 180, 2940, 1815, 435},
    {"lblComStat", "Frame1", "<COM Status>", 2220, 2940, 3555, 435},
    {"Label3", "Frame1", "Baud Rate:", 180, 3540, 1815, 435},
    {"lblBaudVal", "Frame1", "<Baud Rate>", 2220, 3540, 3555, 435},
    {"Label4", "Frame1", "Test Status:", 180, 4140, 1815, 435},
    {"lblStatMon", "Frame1", "<Test Status>", 2220, 4140, 3555, 435},
    {"cmdStop", "Frame1", "Stop Test", 180, 4800, 1755, 555},
    {"cmdStart", "Frame1", "Start Test", 2100, 4800, 1755, 555},
    {"cmdExit", "Frame1", "Exit", 4020, 4800, 1755, 555},
    {"txtStatus", "Frame1", "<Test Report>\n", 180, 5520, 5595, 2535},
};

// The captions of a menu's entries joined by "|", a submenu's in brackets after its own.
QString Tree(const QWidget& menu) {
  QStringList entries;
  for (const QAction* action : menu.actions()) {
    entries << action->text() + (action->menu() ? " [" + Tree(*action->menu()) + "]" : "");
  }
  return entries.join('|');
}

QPoint TwipsPoint(int left, int top) { return {TwipsToPixelsX(left), TwipsToPixelsY(top)}; }

}  // namespace

TEST_F(WindowTest, BeforeStartUpControlsMenusAndTabOrderAreInPlaceWithOnlyTheDefaultsChosen) {
  for (const auto& [name, container, caption, left, top, width, height] : kControls) {
    SCOPED_TRACE(name);
    const QWidget& control = Get(name);
    EXPECT_EQ(control.parentWidget()->objectName(), container);
    const auto text = [&](const char* property) { return control.property(property).toString(); };
    EXPECT_EQ(text("text") + text("title") + text("plainText"), caption);
    EXPECT_EQ(control.geometry(), TwipsRect(left, top, width, height));
    EXPECT_EQ(control.font().family(), "MS Sans Serif");
    EXPECT_EQ(control.font().bold(), name != std::string("txtStatus"));
  }
  EXPECT_EQ(Checked("optTestSetup"), std::vector<int>{0});
  EXPECT_EQ(Checked("mnuSetupComPort"), std::vector<int>{0});
  EXPECT_EQ(Tree(*Window().menuBar()),
            "&Exit|&Setup [&Com Port [No Selection]|Baud Select [1200|2400|4800|8192|9600|19200|"
            "57600|115200]]|&Test Mode [Run Tests|Run Diagnostics]|&Help [About...]");

  const QStringList order = {"optTestSetup(0)", "optTestSetup(1)", "cmdStart",
                             "cmdStop",         "txtStatus",       "cmdExit",
                             "cmdSendChars",    "chkDtrPwr",       "chkRtsPwr"};
  QStringList reached;
  QWidget* widget = &Get(order.front());
  do {
    if (order.contains(widget->objectName())) reached << widget->objectName();
  } while ((widget = widget->nextInFocusChain()) != &Get(order.front()));
  EXPECT_EQ(reached, order);
}

TEST(WindowPlacement, AStoredPlaceIsUsedOnlyWithTitleAndMenuBarOnScreenAndFrame1SizesTheWindow) {
  // The test screen is 800 x 800 pixels, 12000 x 12000 twips.
  const std::tuple<const char*, const char*, int, int> cases[] = {
      {nullptr, nullptr, 0, 0},      {" 1440", "720 ", 1440, 720},   {"12<none>", " 720", 0, 720},
      {"abc", "1.5", 0, 0},          {"40000", "-40000", 0, 0},      {"66976", "", 0, 0},
      {" 4500", " 10500", 4500, 10500},  // the lower part of the window below the screen
      {"-300", " 9000", 0, 0},           // the title bar's left end off the screen
      {" 1440", "-300", 0, 0},           // the title bar above the screen
      {" 1440", " 11490", 0, 0},         // the title bar on the screen, the menu bar below it
      {" 7500", " 720", 0, 0},           // the right end past the screen
      {" 30000", " 0", 0, 0},        {" 0", " 30000", 0, 0}};
  for (const auto& [left, top, leftTwips, topTwips] : cases) {
    WindowHarness harness;
    if (left) SaveAppSetting("MainFormInfo", "Left", left);
    if (top) SaveAppSetting("MainFormInfo", "Top", top);
    frmBaudTest& window = harness.Start();
    EXPECT_EQ(window.frameGeometry().topLeft(), TwipsPoint(leftTwips, topTwips))
        << (left ? left : "") << " " << (top ? top : "");
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
  const std::tuple<QStringList, Policy> choices[] = {
      {entries("mnuSetupComPort", 17), Policy::Exclusive},
      {entries("mnuSelectBaud", 8), Policy::ExclusiveOptional},
      {{"mnuModeTest", "mnuModeDiag"}, Policy::Exclusive}};
  for (const auto& [names, policy] : choices) {
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
  void (*const ways[])(WindowHarness&) = {
      [](WindowHarness& h) { h.Click("cmdExit"); }, [](WindowHarness& h) { h.Choose("mnuExit"); },
      [](WindowHarness& h) { h.Window().close(); },
      [](WindowHarness& h) { h.Window().showMinimized(), h.Window().close(); },
      [](WindowHarness& h) { h.Window().showMaximized(), h.Window().close(); }};
  const QString keys[] = {"Left", "Top", "Width", "Height"};
  for (int way = 0; way < 5; ++way) {
    SCOPED_TRACE(way);
    WindowHarness harness;
    for (const QString& key : keys) SaveAppSetting("MainFormInfo", key, " 99");
    frmBaudTest& window = harness.Start(3, "sim");
    window.move(TwipsPoint(2880, 1440));
    const QSize outer = window.frameGeometry().size();
    ways[way](harness);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Port().MSComm1.PortOpen());
    EXPECT_EQ(harness.Stored("SerialPortInfo/ComPort"), " 3");
    QString place;
    for (const QString& key : keys) place += harness.Stored("MainFormInfo/" + key);
    const QSize twips(PixelsToTwipsX(outer.width()), PixelsToTwipsY(outer.height()));
    const QString normal = QString(" 2880 1440 %1 %2").arg(twips.width()).arg(twips.height());
    EXPECT_EQ(place, way < 3 ? normal : " 99 99 99 99");
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

TEST(MsgBoxPlacement, CentresFrameOverFrameWithWholeNumberHalvingAndKeepsItOnTheScreen) {
  EXPECT_EQ(CentreOverOwner({100, 100, 500, 400}, {0, 0, 201, 101}), (MsgRect{200, 200, 401, 301}));
  // Off the left and top of the screen, past its right and bottom, larger than it.
  const std::pair<MsgRect, MsgRect> cases[] = {{{-50, -20, 150, 80}, {0, 0, 200, 100}},
                                               {{700, 550, 900, 650}, {600, 500, 800, 600}},
                                               {{-100, -100, 1000, 800}, {-300, -300, 800, 600}}};
  for (auto [rect, expected] : cases) {
    KeepRectOnScreen(rect, {12000, 9000, 15, 15});  // 800 x 600 pixels
    EXPECT_EQ(rect, expected);
  }
  // Outer frames as a window manager draws them on a 1024 x 768 screen: a 20-pixel title bar and
  // 1-pixel borders around the window's 397 x 568 and About's 442 x 84 pixels. At the top left
  // the box moves right; with the window dragged above the screen, the box's title bar stays on it.
  const std::tuple<MsgRect, MsgRect> frames[] = {{{0, 0, 399, 589}, {0, 242, 444, 347}},
                                                 {{200, 100, 599, 689}, {177, 342, 621, 447}},
                                                 {{700, -400, 1099, 189}, {580, 0, 1024, 105}}};
  for (const auto& [owner, expected] : frames) {
    MsgRect box = CentreOverOwner(owner, {0, 0, 444, 105});
    KeepRectOnScreen(box, {15360, 11520, 15, 15});
    EXPECT_EQ(box, expected);
  }
}

namespace {

// Where a box with this outer size belongs over the owner's outer rectangle on the test screen.
QRect PlacedOver(const QRect& ownerFrame, const QSize& boxFrame) {
  const auto rect = [](const QRect& r) { return MsgRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1}; };
  MsgRect box = CentreOverOwner(rect(ownerFrame), rect(QRect(QPoint(), boxFrame)));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  KeepRectOnScreen(box, {screen.width() * 15.0, screen.height() * 15.0, 15, 15});
  return QRect(QPoint(box.left, box.top), QPoint(box.right - 1, box.bottom - 1));
}

}  // namespace

TEST_F(WindowTest, AboutShowsTheVersionCentredByItsFrameOverTheWindowsFrameAndOnTheScreen) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  for (const QPoint place : {QPoint(150, 150), QPoint(-300, -300), screen.bottomRight()}) {
    Start().move(place);
    Choose("mnuHelpAbout");
  }
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].said, "Help About: ALDL Interface Test Program, Version " ALDL_PROJECT_VERSION
                           "   Built " ALDL_BUILD_DATE);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
  EXPECT_EQ(boxes[0].buttons, QMessageBox::Ok);
  for (const ShownBox& box : boxes) {
    EXPECT_NE(box.frame, box.inner) << "the box has a frame";
    EXPECT_EQ(box.frame, PlacedOver(box.ownerFrame, box.frame.size()));
  }
  EXPECT_EQ(boxes[1].frame.topLeft(), QPoint(0, 0));
  EXPECT_EQ(boxes[2].frame.bottomRight(), screen.bottomRight());
}

TEST_F(WindowTest, TheBoxAtStartUpIsCentredOverTheFrameTheWindowIsShownWith) {
  SaveAppSetting("MainFormInfo", "Left", " 3000");
  SaveAppSetting("MainFormInfo", "Top", " 1500");
  const QRect shown = Start(4).frameGeometry();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].said.section(':', 0, 0), "Find SIO Ports");
  EXPECT_EQ(boxes[0].frame, PlacedOver(shown, boxes[0].frame.size()));
}

TEST_F(WindowTest, TitlesAreExactlyTheirOwnAndAnEmptyOneBecomesTheApplicationsTitle) {
  Start(4);
  Choose("mnuHelpAbout");
  Click("cmdStart");
  QString none;
  ShowMsgBox("text", kMsgBoxInformation, none, &Window());
  EXPECT_EQ(none, "GM ALDL OBD1 Interface Tester");
  QStringList titles;
  for (const ShownBox& box : boxes) titles << box.title;
  EXPECT_EQ(titles, QStringList({"Find SIO Ports", "Help About", "Run Test", none}));
  EXPECT_EQ(Window().windowTitle(), "GM ALDL OBD1 Interface Tester");
  // Qt appends a display name, when the application sets one, to every title it shows.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "aldl-tester");
}
