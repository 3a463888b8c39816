#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/frmBaudTest.h"
#include "serial/port_map.h"
#include "support/fake_clock.h"

// A message box as the test saw it, just before answering it.
struct ShownBox {
  QString text;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QRect frame;       // the box's outer rectangle
  QRect ownerFrame;  // its owner's outer rectangle at that moment
};

// True when the box's centre lies within a pixel of its owner's centre.
bool CentredOverOwner(const ShownBox& box);

// The controls a running test locks: everything but Stop Test that could interfere.
inline const QStringList kLockedDuringTest = {
    "cmdStart",        "cmdExit", "cmdSendChars", "chkDtrPwr", "chkRtsPwr", "optTestSetup(0)",
    "optTestSetup(1)", "mnuExit", "xmnuSetup",    "xmnuMode",  "xmnuHelp"};

// Answers every modal message box with OK as soon as it shows, after recording it. A box that
// will not close fails the test instead of hanging it.
class BoxAnswerer {
 public:
  BoxAnswerer();
  const std::vector<ShownBox>& Boxes() const { return boxes_; }

 private:
  void Look();

  QTimer timer_;
  QPointer<QMessageBox> answered_;
  int ticksOpen_ = 0;
  std::vector<ShownBox> boxes_;
};

// The real window, offscreen: settings in a fresh temporary folder, every COM port a missing
// device unless the test assigns it, the fake clock driving the link and the simulated adaptor,
// beeps counted and message boxes answered.
class WindowHarness {
 public:
  WindowHarness();
  ~WindowHarness();

  void Assign(int comPort, const std::string& device) { ports_.Assign(comPort, device); }
  std::string MissingDevice(int comPort) const;
  // Where the settings store lives; a regular file makes it unwritable.
  void PointSettingsAt(const QString& folder);
  QString SettingsFolder() const { return settingsDir_.path(); }

  // Written through the application's own settings routine.
  void Store(const QString& section, const QString& key, const QString& value);
  // The stored text as it is, untrimmed; a null string when nothing is stored.
  QString Stored(const QString& section, const QString& key) const;

  // The window as created, no handler run yet.
  frmBaudTest& Window();
  // A new window, loaded and shown as the application starts it.
  frmBaudTest& Start();
  // Started with this device on the COM port selected when the window last closed.
  frmBaudTest& StartWithSavedPort(int comPort, const std::string& device);

  template <typename Control>
  Control& Get(const QString& name) {
    auto* control = Window().findChild<Control*>(name);
    if (!control) throw std::logic_error("no control " + name.toStdString());
    return *control;
  }
  QString Label(const QString& name);
  QString Report();
  void Click(const QString& button);
  void Choose(const QString& menuEntry);
  // Opening the Setup menu, as the user does before reaching its submenus.
  void OpenSetupMenu();
  // The checked entries of a control array such as "mnuSetupComPort".
  std::vector<int> Checked(const char* array);
  // Enabled or not, for every named control, menu entry and menu (by its QMenu's name).
  std::map<QString, bool> EnabledStates();
  // The rate the open device runs at.
  std::uint32_t DeviceRate();

  const std::vector<ShownBox>& Boxes() const { return answerer_.Boxes(); }
  int beeps = 0;
  FakeClock clock;

 private:
  QTemporaryDir settingsDir_;
  QTemporaryDir deviceDir_;
  PortMap ports_;
  BoxAnswerer answerer_;
  std::unique_ptr<frmBaudTest> window_;
};

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
