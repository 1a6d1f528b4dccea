#pragma once

#include <QString>

// Keeps a pseudo-terminal's number taken after its simulator hangs up, so a late open of
// the name fails instead of reaching a terminal the system gave another process (another
// test running beside this one) meanwhile; that open would also hold the other's lock file.
class TerminalNameHold
{
public:
    explicit TerminalNameHold(const QString &port);
    ~TerminalNameHold();
    TerminalNameHold(const TerminalNameHold &) = delete;
    TerminalNameHold &operator=(const TerminalNameHold &) = delete;

    bool holds() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
