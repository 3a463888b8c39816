#include "app/app_settings.h"

#include <QSettings>
#include <cstdio>

namespace {

constexpr const char* kApplicationKey = "ZANTRIX";

QSettings Store() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, kApplicationKey, kApplicationKey);
}

void WarnIfFailed(const QSettings& store) {
  if (store.status() != QSettings::NoError) {
    std::fprintf(stderr, "aldl-tester: the settings store %s cannot be used\n",
                 qPrintable(store.fileName()));
  }
}

}  // namespace

void SaveAppSetting(const QString& section, const QString& key, const QString& value) {
  QSettings store = Store();
  store.setValue(section + "/" + key, value);
  store.sync();
  WarnIfFailed(store);
}

QString GetAppSetting(const QString& section, const QString& key) {
  QSettings store = Store();
  const QString value = store.value(section + "/" + key, QStringLiteral("<none>")).toString();
  WarnIfFailed(store);
  return value.trimmed();
}
