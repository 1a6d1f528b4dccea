#include "logcapture.h"

#include "logmanager.h"

#include <QFile>

LogCapture::LogCapture()
{
    start_log_manager();
    filePath_ = log_manager()->file_path();
}

LogCapture::~LogCapture()
{
    stop_log_manager();
}

QStringList LogCapture::messages()
{
    stop_log_manager();
    QFile file(filePath_);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    static const QString separator = QStringLiteral("   >>   ");
    QStringList result;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype at = line.indexOf(separator);
        result.append(at < 0 ? line : line.mid(at + separator.size()));
    }
    return result;
}
