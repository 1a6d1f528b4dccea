#pragma once

#include <QString>

// A pseudo-terminal pair standing in for a serial adapter. The master side is
// the instrument's end of the line; the slave (/dev/pts/N) is what the
// application opens as its serial port. One slave descriptor stays open here,
// never read, so the pair does not hang up while the application closes and
// reopens its port.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool is_open() const { return masterFd_ >= 0; }
    // Non-blocking descriptor of the master side, -1 once hung up.
    int master_fd() const { return masterFd_; }
    QString slave_name() const { return slaveName_; }

    // Points `path` at the slave; the link is removed again on destruction.
    bool create_symlink(const QString &path);
    // Closes both sides held here, as an unplugged adapter would vanish.
    void hang_up();

private:
    void remove_symlink();

    int masterFd_ = -1;
    int slaveFd_ = -1;
    QString slaveName_;
    QString linkPath_;
};
