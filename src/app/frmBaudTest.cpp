// Creation, start-up, shutdown, About, and what the tests write through.

#include "app/frmBaudTest.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <utility>

#include "app/app_settings.h"
#include "app/twips.h"
#include "common/number_text.h"
#include "msgbox/MMsgBoxPos.h"
#include "version.h"

namespace {

void ProcessPendingEvents() { QCoreApplication::processEvents(); }

// DelayMs: Qt's own event loop, asleep until an event or the timer comes.
void HandleEventsFor(std::int32_t ms) {
  if (ms <= 0) {
    ProcessPendingEvents();
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

// The other waits: what is uncovered is painted again; clicks wait for the test's next pause.
void RepaintOnly() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

// A stored edge in twips; "<none>", and anything that is not a 16-bit whole number, gives 0.
int StoredTwips(const QString& stored) {
  if (stored.contains("<none>")) return 0;
  bool whole = false;
  const short twips = stored.toShort(&whole);
  return whole ? twips : 0;
}

// True when every point of the rectangle is on some screen, outside any panel of its desktop.
bool WhollyOnScreens(const QRect& rect) {
  QRegion outside(rect);
  for (const QScreen* screen : QGuiApplication::screens()) {
    outside = outside.subtracted(screen->availableGeometry());
  }
  return outside.isEmpty();
}

}  // namespace

frmBaudTest::frmBaudTest(PortMap& ports, Clock& clock, std::function<void()> beep)
    : session_(ports, clock, *this, {ProcessPendingEvents, {HandleEventsFor, RepaintOnly}},
               QLocale().decimalPoint().toStdString()),
      ports_(ports),
      beep_(std::move(beep)) {
  setObjectName("frmBaudTest");
  CreateControls();
  CreateMenus();
  SetTabOrder();
  ConnectHandlers();
}

frmBaudTest::~frmBaudTest() = default;

void frmBaudTest::ConnectHandlers() {
  connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
  connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });
  connect(mnuHelpAbout, &QAction::triggered, this, [this] { mnuHelpAbout_Click(); });
  connect(xmnuSetup, &QMenu::aboutToShow, this, [this] {
    RefreshComPorts();
    xmnuSetup_Click();
  });
  // Entries 1 to 16 are connected as start-up creates them.
  connect(mnuSetupComPort[0], &QAction::triggered, this, [this] { mnuSetupComPort_Click(0); });
  for (std::size_t i = 0; i < mnuSelectBaud.size(); ++i) {
    connect(mnuSelectBaud[i], &QAction::triggered, this,
            [this, i] { mnuSelectBaud_Click(static_cast<std::int16_t>(i)); });
  }
  connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
  connect(cmdStop, &QPushButton::clicked, this, [this] { cmdStop_Click(); });
  connect(txtStatus, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowReportMenu(at); });
  connect(mnuSaveReport, &QAction::triggered, this, [this] { mnuSaveReport_Click(); });
  ConnectModeHandlers();
}

void frmBaudTest::Form_Load() {
  adjustSize();
  FitToScreen();
  PlaceFromSettings();
  BaudList = MakeBaudList();
  ProcessPendingEvents();
  InitComPorts();
  mnuModeTest_Click();
  LoadCarLinkSettings();
}

void frmBaudTest::PlaceFromSettings() {
  const QPoint saved(TwipsToPixelsX(StoredTwips(GetAppSetting("MainFormInfo", "Left"))),
                     TwipsToPixelsY(StoredTwips(GetAppSetting("MainFormInfo", "Top"))));
  // The title bar and the menu bar must be within reach. Until the window is shown only the
  // window manager knows the height of its title bar; the style's guess stands in for it.
  const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  const QRect topStrip(saved, QSize(frameGeometry().width(),
                                    titleBar + menuBar()->sizeHint().height()));
  move(WhollyOnScreens(topStrip) ? saved : QPoint(0, 0));
}

void frmBaudTest::Form_Unload() {
  if (std::exchange(unloaded_, true)) return;
  SaveAppSetting("SerialPortInfo", "ComPort",
                 QString::fromStdString(NumberText(Port().state.CurrentPort)));
  SaveCarLinkSettings();
  if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
    const QRect outer = frameGeometry();
    const auto save = [](const char* key, int twips) {
      SaveAppSetting("MainFormInfo", key, QString::fromStdString(NumberText(twips)));
    };
    save("Left", PixelsToTwipsX(outer.x()));
    save("Top", PixelsToTwipsY(outer.y()));
    save("Width", PixelsToTwipsX(outer.width()));
    save("Height", PixelsToTwipsY(outer.height()));
  }
  Port().ReleaseComSetup();
}

void frmBaudTest::closeEvent(QCloseEvent* event) {
  // A running test holds the port and this window: it is stopped first, and the window closes
  // once the test has returned.
  if (testRunning_) {
    cmdStop_Click();
    closeAfterTest_ = true;
    event->ignore();
    return;
  }
  Form_Unload();
  event->accept();
}

void frmBaudTest::cmdExit_Click() { close(); }

void frmBaudTest::mnuExit_Click() { close(); }

void frmBaudTest::mnuHelpAbout_Click() {
  const QString text = QStringLiteral("ALDL Interface Test Program, Version %1.%2.%3   %4")
                           .arg(kVersionMajor)
                           .arg(kVersionMinor)
                           .arg(kVersionRevision)
                           .arg(kVersionComment);
  QString title = "Help About";
  ShowMsgBox(text, kMsgBoxInformation, title, this);
}

void frmBaudTest::SetStatusColour(Colour colour) {
  QPalette palette = lblStatMon->palette();
  palette.setColor(QPalette::Window, QColor(colour.red, colour.green, colour.blue));
  lblStatMon->setPalette(palette);
}

void frmBaudTest::SetBaudCaption(const std::string& caption) {
  lblBaudVal->setText(QString::fromStdString(caption));
}

void frmBaudTest::Beep() { beep_(); }

void frmBaudTest::ShowMessage(const std::string& text, std::int32_t buttons,
                              const std::string& title) {
  QString boxTitle = QString::fromStdString(title);
  ShowMsgBox(QString::fromStdString(text), buttons, boxTitle, this);
}
