// The settings store on Windows: the per-user registry, HKEY_CURRENT_USER\Software\ZANTRIX, a key
// per section and a string value per setting.

#include "app/settings_store.h"

#include "app/app_settings.h"

std::unique_ptr<QSettings> SystemSettingsStore() {
  return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\") +
                                         kSettingsApplicationKey,
                                     QSettings::NativeFormat);
}

// The registry is always there.
void PlaceSettingsStore() {}
