#pragma once

#include <QSettings>
#include <QString>
#include <memory>

// What the settings store's system parts share with app_settings.cpp.

inline constexpr const char* kSettingsApplicationKey = "ZANTRIX";

// The system's own store (app_settings.h).
std::unique_ptr<QSettings> SystemSettingsStore();

// Says once, on standard error, why the settings will not be kept.
void WarnNoSettings(const QString& why);
// No store at all: nothing is read or written from here on.
void StoreNoSettings(const QString& why);
