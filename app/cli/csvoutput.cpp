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

CsvOutcome write_in_place(SampleDatabase &database, const QString &table, int voltageDecimals,
                          const std::optional<TimeRange> &range, QFile &file, bool opened)
{
    if (!opened) {
        return {CsvOutcome::Status::WriteFailed, file.errorString()};
    }
    return database.write_csv(file, table, voltageDecimals, range);
}
int write_sidecar(SampleDatabase &database, const QString &table, const QString &csv,
                  const std::optional<TimeRange> &range)
{
    const QString name = run_sidecar::path_beside(csv);
    const CsvOutcome outcome = database.write_sidecar(csv, table, range);
    if (outcome.ok()) {
        Console::note(QStringLiteral("Sidecar written to ") + name);
        return ExitOk;
    }
    Console::error(
        QStringLiteral("could not write the sidecar file %1: %2").arg(name, outcome.reason));
    return ExitFailure;
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

int CsvOutput::write(SampleDatabase &database, const QString &table, int voltageDecimals,
                     const QString &target, const std::optional<TimeRange> &range)
{
    // Unbuffered: a write error shows at the write that failed, not at some later flush.
    constexpr QIODevice::OpenMode inPlace = QIODevice::WriteOnly | QIODevice::Unbuffered;
    CsvOutcome outcome;
    QString name = target;
    bool sidecar = false;
    if (target == standardOutput) {
        name = QStringLiteral("standard output");
        QFile out;
        const bool opened = out.open(STDOUT_FILENO, inPlace, QFileDevice::DontCloseHandle);
        outcome = write_in_place(database, table, voltageDecimals, range, out, opened);
    } else if (is_special_file(target)) {
        QFile file(target);
        const bool opened = file.open(inPlace);
        outcome = write_in_place(database, table, voltageDecimals, range, file, opened);
    } else {
        outcome = database.write_csv(target, table, voltageDecimals, range);
        sidecar = true;
    }

    switch (outcome.status) {
    case CsvOutcome::Status::Written:
        Console::note(QStringLiteral("CSV written to ") + name);
        return sidecar ? write_sidecar(database, table, target, range) : ExitOk;
    case CsvOutcome::Status::ReadFailed:
        Console::error(QStringLiteral("cannot read the table %1 for the CSV file %2: %3")
                           .arg(table, name, outcome.reason));
        return ExitFailure;
    case CsvOutcome::Status::WriteFailed:
        break;
    }
    Console::error(QStringLiteral("could not write the CSV file %1: %2").arg(name, outcome.reason));
    return ExitFailure;
}
