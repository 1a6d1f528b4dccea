#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Reads the lines the application logged into "Logs" of the working directory after the
// reader was made, without their time stamps. Lines reach the files on the log thread, so
// read after the log manager has stopped (the window deleted) or poll.
class LogReader
{
public:
    LogReader();

    QStringList messages() const;

    // The messages of a log file's text, without their time stamps.
    static QStringList messages_of(const QByteArray &fileText);

private:
    QMap<QString, qint64> startSizes_; // file name -> size when the reader was made
};
