#pragma once

#include "status.h"

#include <QByteArray>
#include <QString>

class PgConnection;
class SampleBatch;
struct sqlite3;

// Rows into PostgreSQL with COPY: a run's rows in the binary format (ids, times and voltages
// go as the 8-byte numbers they are, nothing is printed and parsed again), and any SQLite
// table as it is, for the tables of a run that are complete once it ends.
namespace pg_copy {

// The COPY binary stream of the batch's rows as the run table holds them: the row numbered n
// gets the id n + 1, then its time and one value per voltage column.
QByteArray binary_rows(const SampleBatch &batch);

// Makes serverTable after the SQLite table localTable when it is missing (the same column
// names; INTEGER as bigint, DOUBLE, REAL and FLOAT as double precision, the rest as text; the
// same primary key) and replaces its rows with localTable's. On the caller's connections and
// in the caller's transaction. NotFound when db has no table localTable.
Status copy_table(sqlite3 *db, const QString &localTable, PgConnection &connection,
                  const QString &serverTable);

} // namespace pg_copy
