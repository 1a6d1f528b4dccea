#include "databasefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace database_files {

namespace {
// Links followed at most, as the kernel does, so a loop of links ends.
constexpr int maxLinkHops = 40;

const QString logSuffix = QStringLiteral("-wal");
const QString logIndexSuffix = QStringLiteral("-shm");
const QStringList companionSuffixes = {QString(), logSuffix, logIndexSuffix,
                                       QStringLiteral("-journal")};
// The bytes of the database file every open connection to a file in write-ahead mode holds a
// read lock on (SQLite's SHARED lock); its closing connection locks them for writing to tell
// it is the last one.
constexpr off_t sharedLockFirst = 0x40000000 + 2;
constexpr off_t sharedLockBytes = 510;

// The absolute path with every symbolic link resolved; for a file that does not exist
// (yet), the resolved folder and the name, following a link that points nowhere so far.
QString resolved_path(const QString &path)
{
    QFileInfo info(path);
    for (int hop = 0; hop < maxLinkHops && info.isSymLink() && !info.exists(); ++hop) {
        info = QFileInfo(info.symLinkTarget());
    }
    if (info.exists()) {
        return info.canonicalFilePath();
    }
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty()) {
        return QDir::cleanPath(info.absoluteFilePath());
    }
    return folder + QLatin1Char('/') + info.fileName();
}

bool same_inode(const struct stat &a, const QString &path)
{
    struct stat b
    {};
    return ::stat(QFile::encodeName(path).constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}
} // namespace

bool is_database_or_companion(const QString &path, const QString &databaseFile)
{
    const QString target = resolved_path(path);
    struct stat targetInfo
    {};
    const bool targetExists = ::stat(QFile::encodeName(path).constData(), &targetInfo) == 0;
    // SQLite puts the companions beside the resolved database file; beside the name as
    // given is checked as well, for a database reached through a link.
    const QStringList bases = {QDir::cleanPath(QFileInfo(databaseFile).absoluteFilePath()),
                               resolved_path(databaseFile)};
    for (const QString &base : bases) {
        for (const QString &suffix : companionSuffixes) {
            const QString file = base + suffix;
            if (resolved_path(file) == target || (targetExists && same_inode(targetInfo, file))) {
                return true;
            }
        }
    }
    return false;
}

bool has_log(const QString &databaseFile)
{
    // Something else under their names (a folder) is neither.
    return QFileInfo(databaseFile + logSuffix).isFile() ||
           QFileInfo(databaseFile + logIndexSuffix).isFile();
}

void remove_unused_log(const QString &databaseFile)
{
    // Opened for writing only to take the lock: nothing is written.
    const int fd = ::open(QFile::encodeName(databaseFile).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    // An open file description's lock: closing another descriptor of the file does not drop
    // it, and it meets SQLite's locks even where they are this process's own.
    struct flock lock
    {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = sharedLockFirst;
    lock.l_len = sharedLockBytes;
    const QFileInfo log(databaseFile + logSuffix);
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0 && log.isFile() && log.size() == 0) {
        QFile::remove(databaseFile + logSuffix);
        QFile::remove(databaseFile + logIndexSuffix);
    }
    ::close(fd);
}

} // namespace database_files
