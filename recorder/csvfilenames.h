#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>

// The CSV file of each run of a chain, from the --csv argument: its fields %Y %m %d %H %M
// %S (and %% for a percent sign) are the run's start time; a name without fields gets -1,
// -2, ... (the run's number) before its extension. A name that an earlier run of the chain
// already wrote gets the run's number as well, so no run overwrites another. A name made
// here (numbered, or from fields) never replaces a file that exists already, its own or its
// sidecar: it takes the next free number instead. A name given in full, for a single run,
// is the caller's to replace.
class CsvFileNames
{
public:
    CsvFileNames(const QString &pattern, bool chained);

    // Empty when the pattern is fine; otherwise why not (an unknown field).
    static QString pattern_error(const QString &pattern);
    // The file of run `number` (from 1) started at `startTime`. When existing files moved it
    // on from the name it would have had, that name goes into `taken`.
    QString file_for_run(int number, const QDateTime &startTime, QString *taken = nullptr);

private:
    static QString with_number(const QString &name, int number);
    QString with_fields(const QDateTime &startTime) const;
    // Used by an earlier run, or there on disk with the CSV's or its sidecar's name.
    bool is_taken(const QString &name) const;

    QString pattern_;
    bool chained_;
    QSet<QString> used_;
    int nextNumber_ = 1; // numbers stay in the order of the runs
};
