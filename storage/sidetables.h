#pragma once

#include <QString>
#include <QStringList>

#include <functional>

struct sqlite3;
struct sqlite3_stmt;

// The tables kept beside a run table (envelope, facts, marks, gaps, receipt), each named after the
// run with a suffix of its own: the list of runs leaves them out and a run is dropped with them. On
// the caller's connection and thread.
namespace side_tables {

// What each kind of side table adds to the run's name.
inline const QString factsSuffix = QStringLiteral("_facts");
inline const QString marksSuffix = QStringLiteral("_marks");
inline const QString gapsSuffix = QStringLiteral("_gaps");
inline const QString receivedSuffix = QStringLiteral("_received");

// runTable's name with suffix added.
QString name(const QString &runTable, const QString &suffix);

// Every side table runTable may have.
QStringList of(const QString &runTable);
bool is_side_table(const QString &name);

// Appends one row to the side table `table`, made with `columns` ("time DOUBLE, text TEXT")
// when it is not there yet; `bind` binds the values of `insert` ("INSERT INTO %1 ..." with
// the quoted table name for %1). Committed at once unless the caller holds a transaction.
// False, and reason set, when SQLite refuses.
bool append_row(sqlite3 *db, const QString &table, const QString &columns, const QString &insert,
                const std::function<void(sqlite3_stmt *)> &bind, QString *reason);

} // namespace side_tables
