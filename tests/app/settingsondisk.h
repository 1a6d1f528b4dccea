#pragma once

#include "settingsstore.h"

#include <QFile>
#include <QString>

// The text of "config.ini" in the working directory as it stands on disk, after the values
// this process stored without waiting for the disk; empty when there is no file. QSettings
// readers in one process share unsaved changes, so the file is read directly.
inline QString settingsFileOnDisk()
{
    flush_settings();
    QFile file(QStringLiteral("config.ini"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// The raw value of key in "config.ini" as the file stands on disk; a key "group/name" is read
// from the file's [group] section. An absent file or key gives an empty string.
inline QString settingOnDisk(const QString &key)
{
    const int slash = key.indexOf(QLatin1Char('/'));
    const QString wantedSection = slash < 0 ? QStringLiteral("General") : key.left(slash);
    const QString prefix = key.mid(slash + 1) + QLatin1Char('=');
    QString section = QStringLiteral("General");
    const QStringList lines = settingsFileOnDisk().split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))
            section = line.mid(1, line.size() - 2);
        else if (section == wantedSection && line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return QString();
}
