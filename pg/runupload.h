#pragma once

#include "runfacts.h"
#include "rungap.h"
#include "runmark.h"
#include "status.h"

#include <QList>
#include <QString>

class PgConnection;
struct sqlite3;

// The steps that bring a run of a SQLite file onto the server, once its catalogue row and
// tables are there (server_schema::claim_run): shared by the mirror, which takes them as the
// run goes on, and push, which takes them for a finished run. Each step is one transaction on
// the caller's connection, rolled back when it fails, so the server holds a run's rows in
// order and without holes however often a step is cut short and taken again.
namespace run_upload {

// What the server holds of a run.
struct ServerCounts
{
    qint64 rows = 0; // its highest id: the rows 0 .. rows - 1 are there
    qint64 marks = 0;
    qint64 gaps = 0;
};

Result<ServerCounts> counts(PgConnection &connection, const QString &serverName);

// Copies up to count rows of the run table localTable of db from the row numbered first on
// (binary COPY), and sets the catalogue's rows; returns the number of the row after the last
// one copied. ReadFailed when the table cannot be read, NotFound when it has no row
// numbered first; the server's failures as PgConnection gives them.
Result<qint64> copy_rows(PgConnection &connection, sqlite3 *db, const QString &localTable,
                         const QString &serverName, qint64 first, qint64 count);

// Adds marks from the one numbered firstMark on and gaps from firstGap on.
Status insert_events(PgConnection &connection, const QString &serverName,
                     const QList<RunMark> &marks, qsizetype firstMark, const QList<RunGap> &gaps,
                     qsizetype firstGap);

// The run is over and its rows are on the server: its envelope (copied from db), its final
// facts and the catalogue's rows and "complete", together. A run without an end in its facts
// (its recorder was killed) is complete all the same once everything it left is there.
Status finish(PgConnection &connection, sqlite3 *db, const QString &localTable,
              const QString &serverName, const RunFacts &facts, qint64 rows);

} // namespace run_upload
