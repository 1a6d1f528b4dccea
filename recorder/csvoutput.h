#pragma once

#include "csvexporter.h"
#include "timerange.h"

#include <QString>

#include <optional>

class CommandParser;
class SampleDatabase;

// Where a command writes a run table as CSV (--csv): a regular file, replaced only once
// the CSV is complete; a pipe, device or other file that is not a regular one, written in
// place as the rows are read; or standard output ("-"). Never one of the database's own
// files: that would ruin every run in it.
class CsvOutput
{
public:
    // The target that stands for standard output.
    static inline const QString standardOutput = QStringLiteral("-");
    // What --help says of the JSON file beside the CSV.
    static inline const QString sidecarHelp =
        QStringLiteral("A regular file gets NAME.json beside it (run.csv: run.json) with the "
                       "run's facts and the CSV's row count and time span; a pipe, a device "
                       "or - gets none.");

    // Refuses, in the parser, a target that is the database file or one of SQLite's
    // companions of it, by whatever path or link it is named.
    static void check_target(CommandParser &parser, const QString &target,
                             const QString &databaseFile);

    // Refuses, in the parser, a target no CSV could be written to: a folder, a file in a
    // folder that does not exist or cannot be written, or a file that cannot be written. A
    // pipe or device is left to the write. For a command that would otherwise record a run
    // first and find out only afterwards.
    static void check_writable(CommandParser &parser, const QString &target);

    // Writes the table, or the rows of range, with the voltages' decimals of precision, and
    // into a regular file its sidecar (see CsvExporter); says where they went, or why they
    // could not be read or written. Returns ExitOk or ExitFailure.
    static int write(SampleDatabase &database, const QString &table,
                     CsvExporter::Precision precision, const QString &target,
                     const std::optional<TimeRange> &range = {});
};
