#pragma once

#include <QString>
#include <QStringList>

// Runs the process's log manager for the object's lifetime, writing into the
// current working directory (make that a ScopedWorkDir first), and reads back
// what was logged.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Stops the log manager, which writes out everything still queued, and
    // returns the logged messages in order, without their time stamps.
    QStringList messages();

private:
    QString filePath_;
};
