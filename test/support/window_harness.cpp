#include "support/window_harness.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSettings>
#include <cmath>

#include "app/app_settings.h"
#include "common/number_text.h"
#include "serial/MSComm.h"

namespace {

constexpr int kLookIntervalMs = 5;
constexpr int kPatienceTicks = 400;

double CentreX(const QRect& rect) { return rect.left() + rect.width() / 2.0; }
double CentreY(const QRect& rect) { return rect.top() + rect.height() / 2.0; }

QSettings StoreFile() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, "ZANTRIX", "ZANTRIX");
}

}  // namespace

bool CentredOverOwner(const ShownBox& box) {
  return std::abs(CentreX(box.frame) - CentreX(box.ownerFrame)) <= 1 &&
         std::abs(CentreY(box.frame) - CentreY(box.ownerFrame)) <= 1;
}

BoxAnswerer::BoxAnswerer() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
  timer_.start(kLookIntervalMs);
}

void BoxAnswerer::Look() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box) return;
  if (box == answered_) {
    if (++ticksOpen_ > kPatienceTicks) {
      ADD_FAILURE() << "message box still open after OK: " << box->text().toStdString();
      box->done(QMessageBox::Cancel);
    }
    return;
  }
  QWidget* owner = box->parentWidget();
  boxes_.push_back({box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
                    box->frameGeometry(), owner ? owner->frameGeometry() : QRect()});
  answered_ = box;
  ticksOpen_ = 0;
  if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
    ok->click();
  } else {
    ADD_FAILURE() << "message box without an OK button: " << box->text().toStdString();
    box->done(QMessageBox::Cancel);
  }
}

WindowHarness::WindowHarness() : ports_(clock.Source()) {
  PointSettingsAt(settingsDir_.path());
  for (int n = 1; n <= PortMap::kComPorts; ++n) Assign(n, MissingDevice(n));
}

WindowHarness::~WindowHarness() = default;

std::string WindowHarness::MissingDevice(int comPort) const {
  return deviceDir_.filePath(QStringLiteral("com%1").arg(comPort)).toStdString();
}

void WindowHarness::PointSettingsAt(const QString& folder) {
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

void WindowHarness::Store(const QString& section, const QString& key, const QString& value) {
  SaveAppSetting(section, key, value);
}

QString WindowHarness::Stored(const QString& section, const QString& key) const {
  return StoreFile().value(section + "/" + key).toString();
}

frmBaudTest& WindowHarness::Window() {
  if (!window_) window_ = std::make_unique<frmBaudTest>(ports_, clock, [this] { ++beeps; });
  return *window_;
}

frmBaudTest& WindowHarness::Start() {
  window_.reset();
  Window().Form_Load();
  window_->show();
  return *window_;
}

frmBaudTest& WindowHarness::StartWithSavedPort(int comPort, const std::string& device) {
  Assign(comPort, device);
  Store("SerialPortInfo", "ComPort", QString::fromStdString(NumberText(comPort)));
  return Start();
}

QString WindowHarness::Label(const QString& name) { return Get<QLabel>(name).text(); }

QString WindowHarness::Report() { return Get<QPlainTextEdit>("txtStatus").toPlainText(); }

void WindowHarness::Click(const QString& button) { Get<QAbstractButton>(button).click(); }

void WindowHarness::Choose(const QString& menuEntry) { Get<QAction>(menuEntry).trigger(); }

void WindowHarness::OpenSetupMenu() { emit Get<QMenu>("xmnuSetup").aboutToShow(); }

std::vector<int> WindowHarness::Checked(const char* array) {
  std::vector<int> checked;
  for (int i = 0;; ++i) {
    auto* entry = Window().findChild<QAction*>(ControlArrayName(array, i));
    if (!entry) return checked;
    if (entry->isChecked()) checked.push_back(i);
  }
}

std::map<QString, bool> WindowHarness::EnabledStates() {
  std::map<QString, bool> states;
  for (QWidget* widget : Window().findChildren<QWidget*>()) {
    const QString name = widget->objectName();
    if (name.isEmpty() || name.startsWith("qt_")) continue;
    auto* menu = qobject_cast<QMenu*>(widget);
    states[name] = menu ? menu->menuAction()->isEnabled() : widget->isEnabled();
  }
  for (QAction* action : Window().findChildren<QAction*>()) {
    if (!action->objectName().isEmpty()) states[action->objectName()] = action->isEnabled();
  }
  return states;
}

std::uint32_t WindowHarness::DeviceRate() {
  DCB state{};
  state.DCBlength = kDcbLength;
  if (GetCommState(Window().Port().MSComm1.CommID(), state) == 0) {
    throw std::runtime_error("the device state cannot be read");
  }
  return state.BaudRate;
}
