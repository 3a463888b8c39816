#include "app/app_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <memory>
#include <utility>

#include "app/settings_store.h"

namespace {

bool storeUsable = true;
bool inFolder = false;
bool warned = false;

std::unique_ptr<QSettings> Store() {
  if (inFolder) {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       kSettingsApplicationKey, kSettingsApplicationKey);
  }
  return SystemSettingsStore();
}

QString WhyUnusable(const QSettings& store) {
  if (store.status() == QSettings::FormatError) return "it is not a settings file";
  if (store.format() != QSettings::IniFormat) return "the system refused it";
  QFile file(store.fileName());
  const QString folder = QFileInfo(file).absolutePath();
  if (!QDir().mkpath(folder)) return "its folder " + folder + " cannot be made";
  if (!file.open(QIODevice::ReadWrite | QIODevice::Append)) return file.errorString();
  return "it could not be written";
}

void WarnIfFailed(const QSettings& store) {
  if (store.status() != QSettings::NoError) {
    WarnNoSettings("the settings store " + store.fileName() + " cannot be used: " + WhyUnusable(store));
  }
}

}  // namespace

void WarnNoSettings(const QString& why) {
  if (std::exchange(warned, true)) return;
  std::fprintf(stderr,
               "aldl-tester: %s; the window's position and the chosen port will not be kept\n",
               qPrintable(why));
}

void StoreNoSettings(const QString& why) {
  storeUsable = false;
  WarnNoSettings(why);
}

void SaveAppSetting(const QString& section, const QString& key, const QString& value) {
  if (!storeUsable) return;
  const auto store = Store();
  store->setValue(section + "/" + key, value);
  store->sync();
  WarnIfFailed(*store);
}

QString GetAppSetting(const QString& section, const QString& key) {
  if (!storeUsable) return QStringLiteral("<none>");
  const auto store = Store();
  const QString value = store->value(section + "/" + key, QStringLiteral("<none>")).toString();
  WarnIfFailed(*store);
  return value.trimmed();
}

void KeepSettingsInFolder(const QString& folder) {
  storeUsable = true;
  inFolder = true;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}
