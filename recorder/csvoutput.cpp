#include "csvoutput.h"

#include "commandparser.h"
#include "console.h"
#include "databasefiles.h"
#include "exitcode.h"
#include "runsidecar.h"
#include "sampledatabase.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace {
// A pipe, a device or a socket: replacing it by a regular file would take it away from
// whoever reads it, so the CSV goes into it as it is.
bool is_special_file(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

// Sets errno when not.
bool can_write(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// How the CSV went, said on standard error; ExitOk or ExitFailure.
int report(const Status &status, const QString &table, const QString &name)
{
    if (status.ok()) {
        Console::note(QStringLiteral("CSV written to ") + name);
        return ExitOk;
    }
    if (status.is(Status::Kind::ReadFailed)) {
        Console::error(QStringLiteral("cannot read the table %1 for the CSV file %2: %3")
                           .arg(table, name, status.message()));
        return ExitFailure;
    }
    Console::error(
        QStringLiteral("could not write the CSV file %1: %2").arg(name, status.message()));
    return ExitFailure;
}

// Into a pipe, a device or standard output, opened by the caller; no sidecar.
int write_in_place(RunExporter &exporter, RunExporter::Request request, QFile &file, bool opened,
                   const QString &name)
{
    if (!opened) {
        return report(Status::write_failed(file.errorString()), request.table, name);
    }
    request.device = &file;
    return report(exporter.write(request), request.table, name);
}

// A regular file and its sidecar, both replaced only once both are complete (see
// CsvExporter).
int write_with_sidecar(RunExporter &exporter, RunExporter::Request request)
{
    QString failedFile;
    request.failedFile = &failedFile;
    const Status status = exporter.write(request);
    const QString name = run_sidecar::path_beside(request.path);
    if (!status.ok() && status.is(Status::Kind::WriteFailed) && failedFile == name) {
        Console::error(
            QStringLiteral("could not write the sidecar file %1: %2").arg(name, status.message()));
        return ExitFailure;
    }
    const int exitCode = report(status, request.table, request.path);
    if (status.ok()) {
        Console::note(QStringLiteral("Sidecar written to ") + name);
    }
    return exitCode;
}
} // namespace

void CsvOutput::check_target(CommandParser &parser, const QString &target,
                             const QString &databaseFile)
{
    if (database_files::is_database_or_companion(target, databaseFile)) {
        parser.fail(QStringLiteral("--csv %1 is the database %2 or one of its own files; "
                                   "writing there would ruin every run in it")
                        .arg(target, databaseFile));
    }
}

void CsvOutput::check_writable(CommandParser &parser, const QString &target)
{
    if (is_special_file(target)) {
        return;
    }
    const QFileInfo info(target);
    const QFileInfo folder(info.absolutePath());
    const auto refuse = [&parser, &target](const QString &reason) {
        parser.fail(QStringLiteral("--csv %1: %2").arg(target, reason));
    };
    if (info.isDir()) {
        refuse(QStringLiteral("it is a folder, not a file"));
    } else if (!folder.exists()) {
        refuse(QStringLiteral("the folder %1 does not exist").arg(folder.filePath()));
    } else if (!folder.isDir()) {
        refuse(QStringLiteral("%1 is not a folder").arg(folder.filePath()));
    } else if (!can_write(folder.filePath())) {
        // The CSV is written beside the target first, then renamed over it.
        refuse(QStringLiteral("the folder %1 cannot be written (%2)")
                   .arg(folder.filePath(), QString::fromLocal8Bit(std::strerror(errno))));
    } else if (info.exists() && !can_write(target)) {
        refuse(QStringLiteral("cannot be written (%1)")
                   .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
}

int CsvOutput::write(SampleDatabase &database, const QString &table,
                     CsvExporter::Precision precision, const QString &target,
                     const std::optional<TimeRange> &range)
{
    CsvExporter exporter(precision);
    RunExporter::Request request;
    request.database = &database;
    request.table = table;
    request.range = range;
    // Unbuffered: a write error shows at the write that failed, not at some later flush.
    constexpr QIODevice::OpenMode inPlace = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (target == standardOutput) {
        QFile out;
        const bool opened = out.open(STDOUT_FILENO, inPlace, QFileDevice::DontCloseHandle);
        return write_in_place(exporter, request, out, opened, QStringLiteral("standard output"));
    }
    if (is_special_file(target)) {
        QFile file(target);
        const bool opened = file.open(inPlace);
        return write_in_place(exporter, request, file, opened, target);
    }
    request.path = target;
    return write_with_sidecar(exporter, request);
}
