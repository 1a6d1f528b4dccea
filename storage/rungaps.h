#pragma once

#include "rungap.h"

#include <QList>
#include <QString>

struct sqlite3;

// The gaps of a run, in a table beside the run table (its name with "_gaps" added), made with
// the first gap. Each gap is committed as it is added, so a killed run keeps every one.
// On the caller's connection and thread.
namespace run_gaps {

// False, and reason set, when SQLite refuses.
bool add(sqlite3 *db, const QString &runTable, const RunGap &gap, QString *reason);
// In time order; empty for a run without gaps.
QList<RunGap> read(sqlite3 *db, const QString &runTable);

} // namespace run_gaps
