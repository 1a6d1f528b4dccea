#pragma once

#include "settingsstore.h"

#include <QFile>
#include <QString>

// The raw value of key in "config.ini" of the working directory as the file stands on
// disk. QSettings readers in one process share unsaved changes, so the text is read
// directly; an absent file or key gives an empty string.
inline QString settingOnDisk(const QString &key)
{
    flush_settings(); // values this process stored without waiting for the disk
    QFile file(QStringLiteral("config.ini"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString prefix = key + QLatin1Char('=');
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return QString();
}
