#pragma once

#include "runfacts.h"
#include "rungap.h"
#include "runmark.h"
#include "serverschema.h"
#include "status.h"

#include <QList>
#include <QString>

class PgConnection;
struct sqlite3;

// A finished run of a SQLite file brought onto the server after the fact, in the mirror's
// steps (server_schema::claim_run, run_upload): once, however often it is pushed. A run the
// server has complete is left alone; one it has in part (its mirror was cut short) is
// completed from the server's highest id on, its marks and gaps from the server's counts on.
namespace run_push {

// What one push did.
struct Pushed
{
    enum class Kind { Uploaded, AlreadyComplete, Completed };
    Kind kind = Kind::Uploaded;
    QString serverName; // the run's name on the server
    qint64 rows = 0;    // the run's rows in the file
    qint64 missing = 0; // of those, the rows the server did not have
};

// The run `origin.localName` of db (the calling thread's connection to origin.sourceFile),
// with its facts (for a run its recorder left without an end, as read: see RunOwner), marks,
// gaps and rows in the file. The server's failures as PgConnection gives them; ReadFailed
// when the file cannot be read; Invalid when the server holds more rows of the run than the
// file.
Result<Pushed> push(PgConnection &connection, sqlite3 *db, const server_schema::RunOrigin &origin,
                    const RunFacts &facts, const QList<RunMark> &marks, const QList<RunGap> &gaps,
                    qint64 rows);

} // namespace run_push
