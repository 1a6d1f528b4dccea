#include "databasefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>

namespace database_files {

namespace {
// Links followed at most, as the kernel does, so a loop of links ends.
constexpr int maxLinkHops = 40;

const QStringList companionSuffixes = {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"),
                                       QStringLiteral("-journal")};

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

} // namespace database_files
