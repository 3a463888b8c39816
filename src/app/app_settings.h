#pragma once

#include <QString>

// The per-user settings store under the application key "ZANTRIX": on Linux an INI file in the
// user's configuration folder, on Windows the registry key HKEY_CURRENT_USER\Software\ZANTRIX. A
// store that cannot be read or written is reported once on standard error, with the reason, and
// never stops the program.
void SaveAppSetting(const QString& section, const QString& key, const QString& value);
// The stored text without leading and trailing spaces, or "<none>" when nothing is stored.
QString GetAppSetting(const QString& section, const QString& key);

// Readies the system's store; called once at start-up. On Linux the file is kept in
// $XDG_CONFIG_HOME, or .config in the home folder (taken from the user database when HOME is
// unset), never in the root folder; without any home folder nothing is stored.
void PlaceSettingsStore();

// The store as an INI file in this folder instead, on every system: for tests and tools, which
// never touch the user's own settings.
void KeepSettingsInFolder(const QString& folder);
