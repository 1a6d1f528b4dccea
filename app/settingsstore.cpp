#include "settingsstore.h"

#include <QSettings>

QSettings *settings_store()
{
    static QSettings store(QStringLiteral("./config.ini"), QSettings::IniFormat);
    return &store;
}

QVariant read_setting(const QString &key, const QVariant &default_value)
{
    return settings_store()->value(key, default_value);
}

void write_setting(const QString &key, const QVariant &value)
{
    QSettings *store = settings_store();
    store->setValue(key, value);
    store->sync();
}
