#include "csvoutput.h"

#include "commandparser.h"
#include "console.h"
#include "databasefiles.h"
#include "exitcode.h"
#include "runsidecar.h"
#include "sampledatabase.h"
#include "savefilecommit.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
// How the CSV went, said on standard error; ExitOk or ExitFailure.
int report(const CsvOutcome &outcome, const QString &table, const QString &name)
{
    switch (outcome.status) {
    case CsvOutcome::Status::Written:
        Console::note(QStringLiteral("CSV written to ") + name);
        return ExitOk;
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

// A regular file and its sidecar are both made whole beside their names before either takes
// its name: a failed export leaves neither, and replaces no file already there.
int write_with_sidecar(SampleDatabase &database, const QString &table, int voltageDecimals,
                       const QString &target, const std::optional<TimeRange> &range)
{
    QString reason;
    const std::optional<QByteArray> json = database.sidecar_content(table, range, &reason);
    if (!json) {
        return report({CsvOutcome::Status::ReadFailed, reason}, table, target);
    }
    QSaveFile csv(target);
    const CsvOutcome outcome = csv.open(QIODevice::WriteOnly)
                                   ? database.write_csv(csv, table, voltageDecimals, range)
                                   : CsvOutcome{CsvOutcome::Status::WriteFailed, csv.errorString()};
    if (!outcome.ok()) {
        return report(outcome, table, target);
    }
    const QString name = run_sidecar::path_beside(target);
    QSaveFile sidecar(name);
    if (!sidecar.open(QIODevice::WriteOnly) || sidecar.write(*json) != json->size() ||
        !sidecar.flush()) {
        Console::error(QStringLiteral("could not write the sidecar file %1: %2")
                           .arg(name, sidecar.errorString()));
        return ExitFailure;
    }
    if (!commit_save_file(csv)) {
        return report({CsvOutcome::Status::WriteFailed, csv.errorString()}, table, target);
    }
    if (!commit_save_file(sidecar)) {
        // Only putting it in place failed; the CSV goes with it.
        QFile::remove(target);
        Console::error(QStringLiteral("could not write the sidecar file %1: %2")
                           .arg(name, sidecar.errorString()));
        return ExitFailure;
    }
    const int exitCode = report(outcome, table, target);
    Console::note(QStringLiteral("Sidecar written to ") + name);
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

int CsvOutput::write(SampleDatabase &database, const QString &table, int voltageDecimals,
                     const QString &target, const std::optional<TimeRange> &range)
{
    // Unbuffered: a write error shows at the write that failed, not at some later flush.
    constexpr QIODevice::OpenMode inPlace = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (target == standardOutput) {
        QFile out;
        const bool opened = out.open(STDOUT_FILENO, inPlace, QFileDevice::DontCloseHandle);
        return report(write_in_place(database, table, voltageDecimals, range, out, opened), table,
                      QStringLiteral("standard output"));
    }
    if (is_special_file(target)) {
        QFile file(target);
        const bool opened = file.open(inPlace);
        return report(write_in_place(database, table, voltageDecimals, range, file, opened), table,
                      target);
    }
    return write_with_sidecar(database, table, voltageDecimals, target, range);
}
