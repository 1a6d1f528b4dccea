#include "logreader.h"

#include <QDir>
#include <QFile>

namespace {
QDir logDirectory()
{
    return QDir(QDir::current().filePath(QStringLiteral("Logs")));
}
} // namespace

LogReader::LogReader()
{
    const QFileInfoList files = logDirectory().entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &info : files)
        startSizes_.insert(info.fileName(), info.size());
}

QStringList LogReader::messages() const
{
    QStringList result;
    const QDir dir = logDirectory();
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.seek(startSizes_.value(name, 0));
        result += messages_of(file.readAll());
    }
    return result;
}

QStringList LogReader::messages_of(const QByteArray &fileText)
{
    static const QString separator = QStringLiteral("   >>   ");
    QStringList result;
    const QStringList lines = QString::fromUtf8(fileText).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype at = line.indexOf(separator);
        result.append(at < 0 ? line : line.mid(at + separator.size()));
    }
    return result;
}
