// The window as created: texts, places, fonts, menus, focus order.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "app/twips.h"
#include "support/window_harness.h"

namespace {

struct Placed {
  const char* name;
  const char* container;
  const char* caption;
  int left, top, width, height;  // twips
};

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

QString Caption(const QWidget& control) {
  if (auto* label = qobject_cast<const QLabel*>(&control)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(&control)) return button->text();
  if (auto* frame = qobject_cast<const QGroupBox*>(&control)) return frame->title();
  return qobject_cast<const QPlainTextEdit*>(&control)->toPlainText();
}

// Each entry as "name caption", a submenu by its menu's name.
QStringList Entries(const QList<QAction*>& actions) {
  QStringList entries;
  for (const QAction* action : actions) {
    const QString name = action->menu() ? action->menu()->objectName() : action->objectName();
    entries << name + " " + action->text();
  }
  return entries;
}

}  // namespace

TEST(WindowLayout, EveryControlHasItsCaptionContainerPlaceAndFontBeforeAnyHandler) {
  WindowHarness harness;
  EXPECT_EQ(harness.Window().windowTitle(), "GM ALDL OBD1 Interface Tester");
  for (const Placed& placed : kControls) {
    SCOPED_TRACE(placed.name);
    const QWidget& control = harness.Get<QWidget>(placed.name);
    EXPECT_EQ(control.parentWidget()->objectName(), placed.container);
    EXPECT_EQ(Caption(control), placed.caption);
    EXPECT_EQ(control.geometry(), TwipsRect(placed.left, placed.top, placed.width, placed.height));
    EXPECT_EQ(control.font().family(), "MS Sans Serif");
    EXPECT_EQ(control.font().bold(), placed.name != std::string("txtStatus"));
  }
  EXPECT_TRUE(harness.Get<QAbstractButton>("optTestSetup(0)").isChecked());
  EXPECT_FALSE(harness.Get<QAbstractButton>("optTestSetup(1)").isChecked());
  EXPECT_EQ(Entries(harness.Get<QMenu>("xmnuSetupComPort").actions()),
            QStringList{"mnuSetupComPort(0) No Selection"});
  EXPECT_EQ(harness.Checked("mnuSetupComPort"), std::vector<int>{0});
}

TEST(WindowLayout, MenuTreeHoldsItsEntriesInOrder) {
  WindowHarness harness;
  EXPECT_EQ(Entries(harness.Window().menuBar()->actions()),
            (QStringList{"mnuExit &Exit", "xmnuSetup &Setup", "xmnuMode &Test Mode",
                         "xmnuHelp &Help"}));
  EXPECT_EQ(Entries(harness.Get<QMenu>("xmnuSetup").actions()),
            (QStringList{"xmnuSetupComPort &Com Port", "XmnuSelectBaud Baud Select"}));
  EXPECT_EQ(Entries(harness.Get<QMenu>("XmnuSelectBaud").actions()),
            (QStringList{"mnuSelectBaud(0) 1200", "mnuSelectBaud(1) 2400", "mnuSelectBaud(2) 4800",
                         "mnuSelectBaud(3) 8192", "mnuSelectBaud(4) 9600",
                         "mnuSelectBaud(5) 19200", "mnuSelectBaud(6) 57600",
                         "mnuSelectBaud(7) 115200"}));
  EXPECT_TRUE(harness.Checked("mnuSelectBaud").empty());
  EXPECT_EQ(Entries(harness.Get<QMenu>("xmnuMode").actions()),
            (QStringList{"mnuModeTest Run Tests", "mnuModeDiag Run Diagnostics"}));
  EXPECT_EQ(Entries(harness.Get<QMenu>("xmnuHelp").actions()),
            QStringList{"mnuHelpAbout About..."});
}

TEST(WindowLayout, FocusMovesThroughTheControlsInTabOrder) {
  const QStringList order = {"optTestSetup(0)", "optTestSetup(1)", "cmdStart",
                             "cmdStop",         "txtStatus",       "cmdExit",
                             "cmdSendChars",    "chkDtrPwr",       "chkRtsPwr"};
  WindowHarness harness;
  QStringList reached;
  QWidget* first = &harness.Get<QWidget>(order.front());
  QWidget* widget = first;
  do {
    if (order.contains(widget->objectName())) reached << widget->objectName();
    widget = widget->nextInFocusChain();
  } while (widget != first);
  EXPECT_EQ(reached, order);
}
