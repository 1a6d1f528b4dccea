#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

struct sqlite3;

// What a run table holds, as a list of runs shows it: rows, channels and the time span of its
// samples, and the start time its name carries.
struct RunListing
{
    QString name;
    qint64 rows = 0;
    int channels = 0; // 1 or 16; 0 when the columns are neither layout
    std::optional<double> firstTime;
    std::optional<double> lastTime;
    QDateTime started; // local time, to the second; invalid when the name does not tell

    // "single", "multi" or "unknown".
    QString mode() const;
    // Seconds from the first sample to the last; 0 when there are fewer than two.
    double length() const;
};

// The tables of a database file: their names, what each run holds, and dropping them. Works
// on the caller's connection, on the caller's thread.
namespace run_catalogue {

// The run tables of the file, in the order SQLite lists them; side tables (see side_tables)
// left out.
QStringList run_names(sqlite3 *db);
// Every table of the file but the side tables.
QStringList table_names(sqlite3 *db);
bool has_table(sqlite3 *db, const QString &name);
// Rows in the table, or -1 when it cannot be counted.
qint64 row_count(sqlite3 *db, const QString &table);
// Drops the named tables (those that are there; run tables with their side
// tables) in one transaction under the write lock; false, and nothing dropped, on a failure.
bool drop_tables(sqlite3 *db, const QStringList &names);
// Nothing when the table cannot be read; then `reason`, if given, says why.
// How describe counts the rows: from the envelope's blocks and the rows after them (a few
// look-ups), or every row (which also reads, and so finds damage in, every page of the table).
enum class RowCount { FromEnvelope, EveryRow };
std::optional<RunListing> describe(sqlite3 *db, const QString &table, QString *reason = nullptr,
                                   RowCount count = RowCount::FromEnvelope);

} // namespace run_catalogue
