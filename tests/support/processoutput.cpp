#include "processoutput.h"

QByteArray start_and_read_until(QProcess &process, const QString &program,
                                const QStringList &arguments, const QByteArray &line, int timeoutMs)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    QByteArray output;
    if (!process.waitForStarted(timeoutMs))
        return output;
    while (!output.contains(line) && process.waitForReadyRead(timeoutMs))
        output += process.readAllStandardOutput();
    return output;
}
