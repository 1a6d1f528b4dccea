#include "slaveline.h"

#include <limits>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

SlaveLine::SlaveLine(const QString &name)
{
    fd_ = ::open(name.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0) {
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
    }
}

SlaveLine::~SlaveLine()
{
    close();
}

bool SlaveLine::write(const QByteArray &bytes)
{
    return fd_ >= 0 && ::write(fd_, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
}

QByteArray SlaveLine::read_at_least(qsizetype count, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    QByteArray received;
    char buffer[4096];
    while (received.size() < count && fd_ >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, int(left.count())) <= 0) {
            continue;
        }
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, n);
        } else if (pfd.revents & (POLLHUP | POLLERR)) {
            break; // the other side is gone
        }
    }
    return received;
}

QByteArray SlaveLine::read_for(std::chrono::milliseconds window)
{
    return read_at_least(std::numeric_limits<qsizetype>::max(), window);
}

void SlaveLine::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}
