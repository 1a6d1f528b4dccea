#include "posixlocks.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>

#include <algorithm>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// The "major:minor:inode" key under which /proc/locks names the file.
QString lock_key(const QString &file)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0)
        return QString();
    return QStringLiteral("%1:%2:%3")
        .arg(major(info.st_dev), 2, 16, QLatin1Char('0'))
        .arg(minor(info.st_dev), 2, 16, QLatin1Char('0'))
        .arg(quint64(info.st_ino));
}

} // namespace

QStringList held_posix_locks(const QStringList &files)
{
    QHash<QString, QString> fileByKey;
    for (const QString &file : files) {
        const QString key = lock_key(file);
        if (!key.isEmpty())
            fileByKey.insert(key, file);
    }
    QFile list(QStringLiteral("/proc/locks"));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString pid = QString::number(QCoreApplication::applicationPid());
    QStringList held;
    // "1: POSIX  ADVISORY  READ 4242 fe:00:1093 128 128"; a waiting lock has "->" after the
    // number and is not held.
    for (const QByteArray &line : list.readAll().split('\n')) {
        const QStringList fields =
            QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 8 || fields.at(1) != QLatin1String("POSIX") || fields.at(4) != pid)
            continue;
        const auto file = fileByKey.constFind(fields.at(5));
        if (file == fileByKey.constEnd())
            continue;
        held.append(
            QStringList{*file, fields.at(3), fields.at(6), fields.at(7)}.join(QLatin1Char(' ')));
    }
    held.sort();
    return held;
}

QStringList posix_locked_files(const QStringList &files)
{
    const QStringList held = held_posix_locks(files);
    QStringList locked;
    for (const QString &file : files) {
        if (std::any_of(held.cbegin(), held.cend(), [&file](const QString &lock) {
                return lock.section(QLatin1Char(' '), 0, 0) == file;
            }))
            locked.append(file);
    }
    return locked;
}
