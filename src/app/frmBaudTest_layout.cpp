// The window's controls, their captions and places, the menus and the tab order.

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>

#include "app/frmBaudTest.h"
#include "app/twips.h"
#include "serial/baud_select.h"
#include "version.h"

QString ControlArrayName(const char* control, int index) {
  return QStringLiteral("%1(%2)").arg(control).arg(index);
}

namespace {

// The face the window was drawn in, then its successor and Tahoma, which every Windows has and
// Wine brings with its own fonts; last the sans-serif face a Linux host gives a Wine that has
// none of its own in the prefix. Without them Qt takes the first face it knows, a serif one.
const QStringList kFontFamilies = {"MS Sans Serif", "Microsoft Sans Serif", "Tahoma", "DejaVu Sans"};
constexpr int kFontPoints = 8;

QFont WindowFont(QFont::Weight weight) {
  QFont font(kFontFamilies, kFontPoints, weight);
  font.setStyleHint(QFont::SansSerif);
  return font;
}
// On a screen too short for the window (a large scale on a laptop) the report box gives up
// height first, down to this many lines.
constexpr int kReportLeastLines = 4;

template <typename Control>
Control* Place(Control* control, const QString& name, int left, int top, int width, int height) {
  control->setObjectName(name);
  control->setGeometry(TwipsRect(left, top, width, height));
  return control;
}

QLabel* StatusLabel(QWidget* parent, const char* name, const char* caption, int top) {
  auto* label = Place(new QLabel(caption, parent), name, 2220, top, 3555, 435);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameStyle(QFrame::Box | QFrame::Plain);
  label->setAutoFillBackground(true);
  // Black on the label's own white, red or green, whatever the desktop's text colour.
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  return label;
}

QAction* MenuEntry(QMenu* menu, const QString& name, const QString& caption, bool checkable) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  action->setCheckable(checkable);
  return action;
}

// Entries of which at most one is chosen, drawn with radio marks.
QActionGroup* OneOf(QMenu* menu, QActionGroup::ExclusionPolicy policy) {
  auto* group = new QActionGroup(menu);
  group->setExclusionPolicy(policy);
  return group;
}

}  // namespace

void frmBaudTest::CreateControls() {
  setWindowTitle(kApplicationTitle);
  // The size is fixed: no maximise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  Frame1 = new QFrame(this);
  Frame1->setObjectName("Frame1");
  Frame1->setFrameStyle(QFrame::NoFrame);
  Frame1->setFixedSize(TwipsToPixelsX(5955), TwipsToPixelsY(8235));
  Frame1->setFont(WindowFont(QFont::Bold));
  setCentralWidget(Frame1);
  // The window's size always follows Frame1.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  Label1 = Place(new QLabel("Orvanta ALDL Adaptor Test", Frame1), "Label1", 180, 180, 5655, 495);
  Label1->setAlignment(Qt::AlignCenter);

  fraTestMode = Place(new QGroupBox("Test Mode", Frame1), "fraTestMode", 180, 720, 5595, 1695);
  optTestSetup = {
      Place(new QRadioButton("Fast Test", fraTestMode), ControlArrayName("optTestSetup", 0), 180,
            480, 2532, 330),
      Place(new QRadioButton("Extended Test", fraTestMode), ControlArrayName("optTestSetup", 1), 180,
            960, 2712, 330),
      // The frame's free right-hand column.
      Place(new QRadioButton("Car Link Test", fraTestMode), ControlArrayName("optTestSetup", 2), 3000,
            480, 2412, 330),
  };
  optTestSetup[0]->setChecked(true);

  fraDiagMode = Place(new QGroupBox("Diagnostic Mode", Frame1), "fraDiagMode", 180, 720, 5595, 1695);
  chkDtrPwr = Place(new QCheckBox("DTR Power", fraDiagMode), "chkDtrPwr", 180, 540, 2415, 375);
  chkRtsPwr = Place(new QCheckBox("RTS Power", fraDiagMode), "chkRtsPwr", 180, 1020, 2415, 375);
  cmdSendChars =
      Place(new QPushButton("Send Chars", fraDiagMode), "cmdSendChars", 2760, 720, 2412, 435);

  Label2 = Place(new QLabel("Com Status:", Frame1), "Label2", 180, 2940, 1815, 435);
  lblComStat = StatusLabel(Frame1, "lblComStat", "<COM Status>", 2940);
  Label3 = Place(new QLabel("Baud Rate:", Frame1), "Label3", 180, 3540, 1815, 435);
  lblBaudVal = StatusLabel(Frame1, "lblBaudVal", "<Baud Rate>", 3540);
  Label4 = Place(new QLabel("Test Status:", Frame1), "Label4", 180, 4140, 1815, 435);
  lblStatMon = StatusLabel(Frame1, "lblStatMon", "<Test Status>", 4140);

  cmdStop = Place(new QPushButton("Stop Test", Frame1), "cmdStop", 180, 4800, 1755, 555);
  cmdStart = Place(new QPushButton("Start Test", Frame1), "cmdStart", 2100, 4800, 1755, 555);
  cmdExit = Place(new QPushButton("Exit", Frame1), "cmdExit", 4020, 4800, 1755, 555);
  // Enter presses the focused button, as Space does.
  for (QPushButton* button : {cmdSendChars, cmdStop, cmdStart, cmdExit}) {
    button->setAutoDefault(true);
  }

  txtStatus = Place(new QPlainTextEdit(Frame1), "txtStatus", 180, 5520, 5595, 2535);
  txtStatus->setFont(WindowFont(QFont::Normal));
  txtStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtStatus->setPlainText("<Test Report>\r\n");
  // Tab moves on to Exit rather than typing into the report.
  txtStatus->setTabChangesFocus(true);
  txtStatus->setContextMenuPolicy(Qt::CustomContextMenu);
  mnuSaveReport = new QAction("Save Report As...", this);
  mnuSaveReport->setObjectName("mnuSaveReport");
}

void frmBaudTest::CreateMenus() {
  QMenuBar* bar = menuBar();

  mnuExit = bar->addAction("&Exit");
  mnuExit->setObjectName("mnuExit");

  xmnuSetup = bar->addMenu("&Setup");
  xmnuSetup->setObjectName("xmnuSetup");
  xmnuSetupComPort = xmnuSetup->addMenu("&Com Port");
  xmnuSetupComPort->setObjectName("xmnuSetupComPort");
  xmnuSetupComPort->setToolTipsVisible(true);
  mnuSetupComPort = {
      MenuEntry(xmnuSetupComPort, ControlArrayName("mnuSetupComPort", 0), "No Selection", true)};
  // Entries 1 to 16 join this group as start-up creates them.
  mnuSetupComPort[0]->setActionGroup(
      OneOf(xmnuSetupComPort, QActionGroup::ExclusionPolicy::Exclusive));
  mnuSetupComPort[0]->setChecked(true);
  XmnuSelectBaud = xmnuSetup->addMenu("Baud Select");
  XmnuSelectBaud->setObjectName("XmnuSelectBaud");
  // No rate is checked after a refused one.
  QActionGroup* rates = OneOf(XmnuSelectBaud, QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (std::size_t i = 0; i < kSelectableBauds.size(); ++i) {
    mnuSelectBaud.push_back(MenuEntry(XmnuSelectBaud,
                                      ControlArrayName("mnuSelectBaud", static_cast<int>(i)),
                                      QString::number(kSelectableBauds[i]), true));
    mnuSelectBaud.back()->setActionGroup(rates);
  }
  CreateCarLinkMenu();

  xmnuMode = bar->addMenu("&Test Mode");
  xmnuMode->setObjectName("xmnuMode");
  mnuModeTest = MenuEntry(xmnuMode, "mnuModeTest", "Run Tests", true);
  mnuModeDiag = MenuEntry(xmnuMode, "mnuModeDiag", "Run Diagnostics", true);
  QActionGroup* modes = OneOf(xmnuMode, QActionGroup::ExclusionPolicy::Exclusive);
  mnuModeTest->setActionGroup(modes);
  mnuModeDiag->setActionGroup(modes);

  xmnuHelp = bar->addMenu("&Help");
  xmnuHelp->setObjectName("xmnuHelp");
  mnuHelpAbout = MenuEntry(xmnuHelp, "mnuHelpAbout", "About...", false);
}

void frmBaudTest::FitToScreen() {
  // Until the window is shown only the window manager knows its title bar; the style guesses.
  const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  const int over = frameGeometry().height() + titleBar - screen()->availableGeometry().height();
  const int reportLeast = txtStatus->fontMetrics().lineSpacing() * kReportLeastLines +
                          2 * txtStatus->frameWidth();
  const int giveUp = std::min(over, txtStatus->height() - reportLeast);
  if (giveUp <= 0) return;
  txtStatus->resize(txtStatus->width(), txtStatus->height() - giveUp);
  Frame1->setFixedHeight(Frame1->height() - giveUp);
  adjustSize();
}

void frmBaudTest::SetTabOrder() {
  // The focus order of the controls that take focus; labels and frames do not.
  QWidget* const order[] = {optTestSetup[0], optTestSetup[1], cmdStart,  cmdStop,   txtStatus,
                            cmdExit,         cmdSendChars,    chkDtrPwr, chkRtsPwr, optTestSetup[2]};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}
