#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "app/app_settings.h"
#include "app/frmBaudTest.h"
#include "common/number_text.h"
#include "serial/MSComm.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

// A message box as the test saw it, just before answering it.
struct ShownBox {
  QString title;
  QString said;  // "title: text"
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QRect frame, inner;  // the outer and inner rectangles of the box
};

// The real window, offscreen: settings in a fresh temporary folder, every COM port a path that
// does not exist unless the test assigns it, the fake clock driving the link and the simulated
// adaptor, beeps counted. Every modal message box is recorded and answered with OK; one still
// open a moment later fails the test and is closed, so that no test hangs on a box.
class WindowHarness {
 public:
  WindowHarness() : ports(SafePortMap(clock.Source())) {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    boxTimer_.callOnTimeout([this] { AnswerBox(); });
    boxTimer_.start(5);
  }

  // The window as created, no handler run yet.
  frmBaudTest& Window() {
    if (!window_) window_ = std::make_unique<frmBaudTest>(ports, clock, [this] { ++beeps; });
    return *window_;
  }
  // A new window, loaded and shown as the application starts it; when given, with this device on
  // the COM port saved when the window last closed.
  frmBaudTest& Start(int savedPort = 0, const std::string& device = "") {
    if (savedPort) {
      ports.Assign(savedPort, device);
      SaveAppSetting("SerialPortInfo", "ComPort", QString::fromStdString(NumberText(savedPort)));
    }
    window_.reset();
    Window().Form_Load();
    window_->show();
    return *window_;
  }

  // The stored text of "Section/Key" as it is, untrimmed; a null string when nothing is stored.
  QString Stored(const QString& key) const {
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "ZANTRIX", "ZANTRIX");
    return store.value(key).toString();
  }
  template <typename Control = QWidget>
  Control& Get(const QString& name) {
    auto* control = Window().findChild<Control*>(name);
    if (!control) throw std::logic_error("no control " + name.toStdString());
    return *control;
  }
  QString Label(const QString& name) { return Get<QLabel>(name).text(); }
  QString Report() { return Get<QPlainTextEdit>("txtStatus").toPlainText(); }
  void Click(const QString& button) { Get<QAbstractButton>(button).click(); }
  void Choose(const QString& menuEntry) { Get<QAction>(menuEntry).trigger(); }
  bool Ticked(const QString& name) { return Get<QObject>(name).property("checked").toBool(); }
  // The ticked members of a control array such as "mnuSetupComPort".
  std::vector<int> Checked(const char* array) {
    std::vector<int> checked;
    for (int i = 0; Window().findChild<QObject*>(ControlArrayName(array, i)); ++i) {
      if (Ticked(ControlArrayName(array, i))) checked.push_back(i);
    }
    return checked;
  }
  // Enabled or not, for every named control, menu entry and menu (by its QMenu's name).
  std::map<QString, bool> EnabledStates() {
    std::map<QString, bool> states;
    for (QObject* object : Window().findChildren<QObject*>(QRegularExpression("^(?!qt_).+"))) {
      auto* menu = qobject_cast<QMenu*>(object);
      const QObject* subject = menu ? menu->menuAction() : object;
      states[object->objectName()] = subject->property("enabled").toBool();
    }
    return states;
  }
  // The rate the open device runs at.
  std::uint32_t DeviceRate() {
    DCB state{kDcbLength};
    GetCommState(Window().Port().MSComm1.CommID(), state);
    return state.BaudRate;
  }

  FakeClock clock;
  PortMap ports;
  QTemporaryDir settingsDir;
  std::vector<ShownBox> boxes;
  int beeps = 0;

 private:
  void AnswerBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box && box == answered_) {
      ADD_FAILURE() << "message box without an OK that closes it: " << box->text().toStdString();
      box->done(QMessageBox::Cancel);
    } else if (box) {
      boxes.push_back({box->windowTitle(), box->windowTitle() + ": " + box->text(), box->icon(),
                       box->standardButtons(), box->frameGeometry(), box->geometry()});
      answered_ = box;
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    }
  }

  QTimer boxTimer_;
  QPointer<QMessageBox> answered_;
  std::unique_ptr<frmBaudTest> window_;
};

// A test with one harness.
class WindowTest : public testing::Test, public WindowHarness {};

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
inline void PrintTo(const QPoint& point, std::ostream* out) { *out << point.x() << "," << point.y(); }
