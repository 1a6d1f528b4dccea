#pragma once

#include "runmark.h"

#include <QList>
#include <QString>

struct sqlite3;

// The marks of a run, in a table beside the run table (its name with "_marks" added), made
// with the first mark. Each mark is committed as it is added, so a killed run keeps every one.
// On the caller's connection and thread.
namespace run_marks {

// False, and reason set, when SQLite refuses.
bool add(sqlite3 *db, const QString &runTable, const RunMark &mark, QString *reason);
// In time order; empty for a run without marks.
QList<RunMark> read(sqlite3 *db, const QString &runTable);

} // namespace run_marks
