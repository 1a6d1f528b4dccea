#include "terminalnamehold.h"

#include <fcntl.h>
#include <unistd.h>

TerminalNameHold::TerminalNameHold(const QString &port)
    : fd_(::open(qPrintable(port), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{}

TerminalNameHold::~TerminalNameHold()
{
    if (fd_ >= 0)
        ::close(fd_);
}
