#pragma once

#include <QString>

// The per-user settings store under the application key "ZANTRIX". A store that cannot be read
// or written is reported on standard error and never stops the program.
void SaveAppSetting(const QString& section, const QString& key, const QString& value);
// The stored text without leading and trailing spaces, or "<none>" when nothing is stored.
QString GetAppSetting(const QString& section, const QString& key);
