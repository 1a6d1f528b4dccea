#include "portopenerror.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString group_name(gid_t id)
{
    const group *entry = ::getgrgid(id);
    return entry != nullptr ? QString::fromLocal8Bit(entry->gr_name) : QString::number(id);
}

QString user_name(uid_t id)
{
    const passwd *entry = ::getpwuid(id);
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name) : QString::number(id);
}

QString permission_denied(const struct stat &info)
{
    constexpr mode_t groupReadWrite = S_IRGRP | S_IWGRP;
    if ((info.st_mode & groupReadWrite) == groupReadWrite) {
        const QString group = group_name(info.st_gid);
        return QStringLiteral("permission denied: the device belongs to group %1; join it "
                              "with: sudo usermod -aG %1 $USER, then log in again")
            .arg(group);
    }
    return QStringLiteral("permission denied: only its owner %1 may use it (group %2, mode %3)")
        .arg(user_name(info.st_uid), group_name(info.st_gid),
             QString::number(info.st_mode & 07777, 8).rightJustified(4, QLatin1Char('0')));
}
} // namespace

QString port_open_error(QSerialPort::SerialPortError error, const QString &path,
                        const QString &systemText)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info
    {};
    if (::stat(native.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return QStringLiteral("it does not exist");
        }
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!S_ISCHR(info.st_mode)) {
        return QStringLiteral("it is not a serial device");
    }
    switch (error) {
    case QSerialPort::PermissionError:
        // QSerialPort says so for a device it may not open, and for one that is in use:
        // another program holds its lock file or has opened it exclusively.
        if (::access(native.constData(), R_OK | W_OK) != 0) {
            return permission_denied(info);
        }
        return QStringLiteral("it is busy: another program is using it (or left its lock file "
                              "under /var/lock)");
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("the device does not answer (unplugged?)");
    case QSerialPort::UnsupportedOperationError:
    case QSerialPort::UnknownError:
        // The line settings of a device that is no terminal cannot be read.
        return QStringLiteral("it is not a serial device");
    default:
        return systemText.isEmpty() ? QStringLiteral("unknown reason") : systemText;
    }
}
