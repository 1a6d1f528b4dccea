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

// Stores the value without waiting for the disk: read_setting gives it at once, and it is
// on disk a few milliseconds later (a thread of its own writes it). For the moments a run
// starts or goes on, when the GUI thread must not wait for the disk.
void write_setting_soon(const QString &key, const QVariant &value);

// Waits until every value of write_setting_soon is on disk; the window calls it as it
// closes, and write_setting before it writes.
void flush_settings();
