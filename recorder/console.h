#pragma once

#include <QString>

// The tool's two text channels: results on standard output, messages and the
// run's status line on standard error. Every message is one line.
class Console
{
public:
    // One line of result on standard output.
    static void out(const QString &line);
    // "telvane-cli: " and the message on standard error.
    static void error(const QString &message);
    // A note on standard error that is not a failure.
    static void note(const QString &message);
    // Rewrites the status line in place ("\r", no line end).
    static void status(const QString &line);
    // Ends a status line that was shown, so the next message starts on a line of its own.
    static void end_status();

private:
    static bool statusShown_;
};
