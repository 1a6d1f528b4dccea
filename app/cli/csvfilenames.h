#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>

// The CSV file of each run of a chain, from the --csv argument: its fields %Y %m %d %H %M
// %S (and %% for a percent sign) are the run's start time; a name without fields gets -1,
// -2, ... (the run's number) before its extension. A name that an earlier run of the chain
// already wrote gets the run's number as well, so no run overwrites another.
class CsvFileNames
{
public:
    CsvFileNames(const QString &pattern, bool chained);

    // Empty when the pattern is fine; otherwise why not (an unknown field).
    static QString pattern_error(const QString &pattern);
    // The file of run `number` (from 1) started at `startTime`.
    QString file_for_run(int number, const QDateTime &startTime);

private:
    static QString with_number(const QString &name, int number);

    QString pattern_;
    bool chained_;
    QSet<QString> used_;
};
