#pragma once

#include <QString>
#include <QVariant>

class QSettings;

// The process-wide settings file "./config.ini" (INI format, keys without groups). It is
// opened on first use, relative to the working directory of that moment, and lives until
// the process exits. Used from the GUI thread only.
QSettings *settings_store();

// The stored value of key, or default_value when the key is absent.
QVariant read_setting(const QString &key, const QVariant &default_value);

// Stores the value and flushes the file at once: the unclean-exit check depends on
// "NormalExit" = false reaching the disk soon after start-up, before any crash.
void write_setting(const QString &key, const QVariant &value);
