#pragma once

#include "runfacts.h"
#include "status.h"

#include <QString>

class PgConnection;

// The layout of the mirror's server, versioned so that an older program never writes into a
// layout it does not know: telvane_schema (one row, the version), the catalogue of runs
// telvane_runs, and per run a table of its rows with the columns of the SQLite run table and
// beside it the tables of its facts, marks, gaps and envelope, named as in the SQLite file.
// Every change is one transaction under an advisory lock, so two recorders starting at once
// neither make the same table twice nor take the same name. On the caller's connection.
namespace server_schema {

constexpr int version = 1;

// Makes what is missing; Invalid when the server's layout is of a newer version.
Status ensure(PgConnection &connection);

// A run as the catalogue knows it: which station recorded it into which file under which name.
struct RunOrigin
{
    QString station;
    QString sourceFile; // the SQLite file, absolute
    QString localName;  // its run table there
};

// The run's name on the server: the one it got before, else its local name when that is free
// on the server, else the next free "_2", "_3", ... after the name's start time; a new run gets
// its catalogue row, its tables and its facts at the start.
Result<QString> claim_run(PgConnection &connection, const RunOrigin &origin, const RunFacts &facts);

// Replaces the run's facts with these; the catalogue row takes their rows and outcome, and
// complete (every row and table is on the server).
Status write_facts(PgConnection &connection, const QString &serverName, const RunFacts &facts,
                   bool complete);

} // namespace server_schema
