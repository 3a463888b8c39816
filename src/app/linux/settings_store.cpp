// The settings store on Linux: an INI file in the user's configuration folder.

#include "app/settings_store.h"

#include <pwd.h>
#include <unistd.h>

#include "app/app_settings.h"

namespace {

QString HomeFolder() {
  const QByteArray home = qgetenv("HOME");
  if (home.startsWith('/')) return QString::fromLocal8Bit(home);
  const passwd* user = getpwuid(getuid());
  return user && user->pw_dir && user->pw_dir[0] == '/' ? QString::fromLocal8Bit(user->pw_dir)
                                                       : QString();
}

}  // namespace

std::unique_ptr<QSettings> SystemSettingsStore() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     kSettingsApplicationKey, kSettingsApplicationKey);
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
    StoreNoSettings("no home folder is known (HOME is unset), so there is no settings store");
    return;
  }
  KeepSettingsInFolder(folder);
}
