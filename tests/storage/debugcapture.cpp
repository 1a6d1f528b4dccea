#include "debugcapture.h"

#include <QMutexLocker>

namespace {
QMutex mutex;
QStringList captured; // guarded by mutex
} // namespace

DebugCapture::DebugCapture()
{
    clear();
    previous_ = qInstallMessageHandler(&DebugCapture::handle);
}

DebugCapture::~DebugCapture()
{
    qInstallMessageHandler(previous_);
}

QStringList DebugCapture::lines() const
{
    QMutexLocker lock(&mutex);
    return captured;
}

bool DebugCapture::contains(const QString &start) const
{
    const QStringList all = lines();
    return std::any_of(all.begin(), all.end(),
                       [&](const QString &line) { return line.startsWith(start); });
}

void DebugCapture::clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}

void DebugCapture::handle(QtMsgType, const QMessageLogContext &, const QString &text)
{
    QMutexLocker lock(&mutex);
    captured.append(text);
}
