#include "freespaceguard.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace {
const char reserveVariable[] = "TELVANE_FREE_SPACE_RESERVE";

qint64 reserve_bytes(qint64 fileSystemBytes)
{
    bool given = false;
    const qint64 reserve = qgetenv(reserveVariable).toLongLong(&given);
    if (given && reserve >= 0) {
        return reserve;
    }
    return std::max(fileSystemBytes / 100, FreeSpaceGuard::reserveFloorBytes);
}
} // namespace

FreeSpaceGuard::FreeSpaceGuard(const QString &databaseFile, bool singleChannel, int rate)
    : folder_(QFileInfo(databaseFile).absolutePath())
    , bytesPerSecond_(qint64(rate) * (singleChannel ? singleRowBytes : multiRowBytes))
{}

QString FreeSpaceGuard::shortage(qint64 seconds, const QString &what) const
{
    const QStorageInfo storage(folder_);
    if (!storage.isValid()) {
        return {}; // nothing to go by; SQLite reports a full disk itself
    }
    const qint64 free = storage.bytesAvailable();
    const qint64 runBytes = std::max<qint64>(0, seconds) * bytesPerSecond_;
    const qint64 reserve = reserve_bytes(storage.bytesTotal());
    if (free >= runBytes + reserve) {
        return {};
    }
    return QStringLiteral("not enough free space for %1 on %2: %3 free, %4 needed (%5 for the "
                          "samples and %6 kept free)")
        .arg(what, storage.rootPath(), megabytes(free), megabytes(runBytes + reserve),
             megabytes(runBytes), megabytes(reserve));
}

QString FreeSpaceGuard::megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}
