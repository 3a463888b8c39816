#include "app/app_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <utility>

namespace {

constexpr const char* kApplicationKey = "ZANTRIX";

bool storeUsable = true;
bool warned = false;

QSettings Store() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, kApplicationKey, kApplicationKey);
}

QString WhyUnusable(const QSettings& store) {
  if (store.status() == QSettings::FormatError) return "it is not a settings file";
  QFile file(store.fileName());
  const QString folder = QFileInfo(file).absolutePath();
  if (!QDir().mkpath(folder)) return "its folder " + folder + " cannot be made";
  if (!file.open(QIODevice::ReadWrite | QIODevice::Append)) return file.errorString();
  return "it could not be written";
}

void WarnOnce(const QString& what) {
  if (std::exchange(warned, true)) return;
  std::fprintf(stderr,
               "aldl-tester: %s; the window's position and the chosen port will not be kept\n",
               qPrintable(what));
}

void WarnIfFailed(const QSettings& store) {
  if (store.status() != QSettings::NoError) {
    WarnOnce("the settings store " + store.fileName() + " cannot be used: " + WhyUnusable(store));
  }
}

QString HomeFolder() {
  const QByteArray home = qgetenv("HOME");
  if (home.startsWith('/')) return QString::fromLocal8Bit(home);
  const passwd* user = getpwuid(getuid());
  return user && user->pw_dir && user->pw_dir[0] == '/' ? QString::fromLocal8Bit(user->pw_dir)
                                                       : QString();
}

}  // namespace

void SaveAppSetting(const QString& section, const QString& key, const QString& value) {
  if (!storeUsable) return;
  QSettings store = Store();
  store.setValue(section + "/" + key, value);
  store.sync();
  WarnIfFailed(store);
}

QString GetAppSetting(const QString& section, const QString& key) {
  if (!storeUsable) return QStringLiteral("<none>");
  QSettings store = Store();
  const QString value = store.value(section + "/" + key, QStringLiteral("<none>")).toString();
  WarnIfFailed(store);
  return value.trimmed();
}

void PlaceSettingsStore() {
  const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
  QString folder;
  if (configHome.startsWith('/')) {
    folder = QString::fromLocal8Bit(configHome);
  } else if (const QString home = HomeFolder(); !home.isEmpty() && home != "/") {
    folder = home + "/.config";
  }
  if (folder.isEmpty()) {
    storeUsable = false;
    WarnOnce("no home folder is known (HOME is unset), so there is no settings store");
    return;
  }
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}
