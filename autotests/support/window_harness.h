#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "app/app_settings.h"
#include "app/frmBaudTest.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

// The real window, offscreen: settings in a fresh temporary folder, every COM port a path that
// does not exist unless the test assigns it, the fake clock driving the link and the simulated
// adaptor, beeps counted. Every modal message box must have OK only; it is recorded and answered
// with OK, and one still open a moment later fails the test and is closed, so that no test hangs.
// A file dialog is answered with fileChosen, replacing a file already there.
class WindowHarness {
 public:
  WindowHarness() : ports(SafePortMap(clock.Source())) {
    KeepSettingsInFolder(settingsDir.path());
    boxTimer_.callOnTimeout([this] { AnswerBox(); });
    boxTimer_.start(5);
  }

  // A new window, loaded and shown as the application starts it; when given, with this device on
  // the COM port saved when the window last closed.
  frmBaudTest& Start(int savedPort = 0, const std::string& device = "") {
    if (savedPort) {
      ports.Assign(savedPort, device);
      SaveAppSetting("SerialPortInfo", "ComPort", " " + QString::number(savedPort));
    }
    window_ = std::make_unique<frmBaudTest>(ports, clock, [this] { ++beeps; });
    window_->Form_Load();
    window_->show();
    return *window_;
  }
  frmBaudTest& Window() { return *window_; }

  // The stored text of a setting as it is, untrimmed; a null string when nothing is stored.
  QString Stored(const QString& section, const QString& key) const {
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "ZANTRIX", "ZANTRIX");
    return store.value(section + "/" + key).toString();
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
  // Those of the named controls, menu entries and menus (by their QMenu's name) that are enabled.
  QStringList Enabled(const QStringList& names) {
    QStringList enabled;
    for (const QString& name : names) {
      QObject* control = &Get<QObject>(name);
      if (auto* menu = qobject_cast<QMenu*>(control)) control = menu->menuAction();
      if (control->property("enabled").toBool()) enabled << name;
    }
    return enabled;
  }
  // The rate the open device runs at; 0 with the port closed.
  std::uint32_t DeviceRate() {
    if (!Window().Port().MSComm1.PortOpen()) return 0;
    DCB state{kDcbLength};
    GetCommState(Window().Port().MSComm1.CommID(), state);
    return state.BaudRate;
  }

  FakeClock clock;
  PortMap ports;
  QTemporaryDir settingsDir;
  QStringList shownBoxes;  // "title: text"
  std::vector<QRect> boxFrames;  // their outer rectangles
  int beeps = 0;
  QString fileChosen;

 private:
  void AnswerBox() {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      shownBoxes << dialog->windowTitle() + ": " + fileChosen;
      // A file already there is replaced, as the user says yes to the dialog's question.
      dialog->setOption(QFileDialog::DontConfirmOverwrite);
      dialog->selectFile(fileChosen);
      static_cast<QDialog*>(dialog)->accept();  // as its Save button does
      if (dialog->isVisible()) {
        ADD_FAILURE() << "the file dialog did not take " << fileChosen.toStdString();
        dialog->reject();
      }
      return;
    }
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box && box == answered_) {
      ADD_FAILURE() << "message box without an OK that closes it: " << box->text().toStdString();
      box->done(QMessageBox::Cancel);
    } else if (box) {
      shownBoxes << box->windowTitle() + ": " + box->text();
      boxFrames.push_back(box->frameGeometry());
      EXPECT_EQ(box->standardButtons(), QMessageBox::Ok) << shownBoxes.back().toStdString();
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
inline void PrintTo(const QRect& rect, std::ostream* out) {
  *out << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height();
}
