#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// The application's end of a simulated line, opened with plain POSIX calls so
// the simulator is checked without any of the application's serial code.
class SlaveLine
{
public:
    explicit SlaveLine(const QString &name);
    ~SlaveLine();
    SlaveLine(const SlaveLine &) = delete;
    SlaveLine &operator=(const SlaveLine &) = delete;

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool write(const QByteArray &bytes);
    // Everything that arrives until `count` bytes are in or `timeout` passes.
    QByteArray read_at_least(qsizetype count, std::chrono::milliseconds timeout);
    // Everything that arrives within `window` (used to show that nothing comes).
    QByteArray read_for(std::chrono::milliseconds window);
    void close();

private:
    int fd_ = -1;
};
