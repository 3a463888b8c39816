#pragma once

#include <QString>

// The per-user settings store under the application key "ZANTRIX". A store that cannot be read
// or written is reported once on standard error, with the reason, and never stops the program.
void SaveAppSetting(const QString& section, const QString& key, const QString& value);
// The stored text without leading and trailing spaces, or "<none>" when nothing is stored.
QString GetAppSetting(const QString& section, const QString& key);

// Keeps the store in the user's configuration folder ($XDG_CONFIG_HOME, or .config in the home
// folder, taken from the user database when HOME is unset), never in the root folder. Without
// any home folder nothing is stored. Called once at start-up; tests set their own folder.
void PlaceSettingsStore();
