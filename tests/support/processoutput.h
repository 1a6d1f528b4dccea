#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Starts program (its standard error passed through) and reads its standard output until
// `line` has appeared, the process ends or nothing arrives for timeoutMs. Returns what it
// read, for the caller to check.
QByteArray start_and_read_until(QProcess &process, const QString &program,
                                const QStringList &arguments, const QByteArray &line,
                                int timeoutMs);
