#include "settingsstore.h"

#include <QHash>
#include <QMutex>
#include <QSettings>
#include <QThreadPool>

namespace {

// Writes of write_setting_soon: on one thread, in order. The file is synced to the disk
// with every write, which takes from a few to a hundred milliseconds on a busy disk.
class SettingsWriter
{
public:
    SettingsWriter() { pool_.setMaxThreadCount(1); }

    void write(const QString &fileName, const QString &key, const QVariant &value)
    {
        {
            QMutexLocker lock(&mutex_);
            pending_.insert(key, value);
        }
        pool_.start([this, fileName, key, value] {
            // Settings objects of one process share the file's values, so the store sees the
            // value once it is set here.
            QSettings file(fileName, QSettings::IniFormat);
            file.setValue(key, value);
            file.sync();
            QMutexLocker lock(&mutex_);
            if (pending_.value(key) == value) {
                pending_.remove(key);
            }
        });
    }

    bool pending(const QString &key, QVariant *value)
    {
        QMutexLocker lock(&mutex_);
        const auto found = pending_.constFind(key);
        if (found == pending_.constEnd()) {
            return false;
        }
        *value = *found;
        return true;
    }

    void flush() { pool_.waitForDone(); }

private:
    QThreadPool pool_;
    QMutex mutex_;                     // guards pending_
    QHash<QString, QVariant> pending_; // values not yet set by the writer thread
};

SettingsWriter &settings_writer()
{
    static SettingsWriter writer;
    return writer;
}

} // namespace

QSettings *settings_store()
{
    static QSettings store(QStringLiteral("./config.ini"), QSettings::IniFormat);
    return &store;
}

QVariant read_setting(const QString &key, const QVariant &default_value)
{
    QVariant value;
    if (settings_writer().pending(key, &value)) {
        return value;
    }
    return settings_store()->value(key, default_value);
}

void write_setting(const QString &key, const QVariant &value)
{
    flush_settings(); // an earlier value of the key must not land after this one
    QSettings *store = settings_store();
    store->setValue(key, value);
    store->sync();
}

void write_setting_soon(const QString &key, const QVariant &value)
{
    settings_writer().write(settings_store()->fileName(), key, value);
}

void flush_settings()
{
    settings_writer().flush();
}
