#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Collects the debug output of every thread while it exists, so tests can check the
// diagnostics the code writes.
class DebugCapture
{
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture &) = delete;
    DebugCapture &operator=(const DebugCapture &) = delete;

    QStringList lines() const;
    bool contains(const QString &start) const; // some line begins with start
    void clear();

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QtMessageHandler previous_ = nullptr;
};
