#include "pseudoterminal.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        qWarning() << "openpty failed:" << std::strerror(errno);
        return;
    }
    // Raw line on the slave: no echo, no CR/LF translation, no flow control,
    // so frame bytes such as 0x0D 0x0A and 0x11/0x13 pass unchanged.
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    masterFd_ = master;
    slaveFd_ = slave;
    slaveName_ = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    hang_up();
    remove_symlink();
}

bool PseudoTerminal::create_symlink(const QString &path)
{
    if (slaveName_.isEmpty() || path.isEmpty()) {
        return false;
    }
    const QFileInfo existing(path);
    if (existing.isSymLink()) {
        QFile::remove(path);
    } else if (existing.exists()) {
        qWarning() << "not replacing" << path << ": it is not a symbolic link";
        return false;
    }
    if (symlink(slaveName_.toLocal8Bit().constData(), path.toLocal8Bit().constData()) != 0) {
        qWarning() << "symlink" << path << "failed:" << std::strerror(errno);
        return false;
    }
    remove_symlink();
    linkPath_ = path;
    return true;
}

void PseudoTerminal::hang_up()
{
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
        slaveFd_ = -1;
    }
}

void PseudoTerminal::remove_symlink()
{
    // Only remove the link while it still points at this terminal.
    if (!linkPath_.isEmpty() && QFileInfo(linkPath_).symLinkTarget() == slaveName_) {
        QFile::remove(linkPath_);
    }
    linkPath_.clear();
}
