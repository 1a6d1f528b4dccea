#pragma once

#include "status.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// Opening the SQLite connections of the sample database: every connection to the file gets
// the same busy time-out and the write-ahead journal, so a reader on one thread never blocks
// the inserts of another.
namespace sqlite_connection {

// A writer waits this long for another connection's write lock before it gives up.
constexpr int busyTimeoutMs = 5000;
// A writing connection's journal file is cut back to this size whenever SQLite starts it
// anew after a checkpoint (by default it keeps the largest size it ever reached). Readers
// are never waited for: a checkpoint copies only what no reader's snapshot still needs.
constexpr qint64 walSizeLimitBytes = 4 * 1024 * 1024;
// Page size of a file opened with Journal::Off before anything was written to it.
constexpr int scratchPageBytes = 16 * 1024;

// How a writing connection keeps its file consistent. A scratch file (a CSV read in for
// review, thrown away with its window) needs no journal and no syncs: a crash loses nothing
// that is not in the CSV still, and the bulk load skips writing every page twice.
enum class Journal { WriteAhead, Off };

// Closes a connection when it goes; statements still prepared on it keep it until they do.
struct Closer
{
    void operator()(sqlite3 *db) const;
};
using Handle = std::unique_ptr<sqlite3, Closer>;

// Opens fileName and switches the file to the write-ahead journal, bounded by
// walSizeLimitBytes, or with Journal::Off to no journal, no syncs and larger pages (on a file
// not yet written). A read-only connection never writes the file; it is opened so it can read
// where no write-ahead log can be made (a read-only mount, a folder the reader may not write)
// and leaves the journal alone. On a failure, reported on the debug output too, SQLite's
// words ("unable to open database file").
Result<Handle> open(const QString &fileName, bool readOnly, Journal journal = Journal::WriteAhead);

// name as an SQL identifier in double quotes.
QString quoted(const QString &name);

// A prepared statement of the SQLite interface, finalized when it goes.
struct StatementFinalizer
{
    void operator()(sqlite3_stmt *statement) const;
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// sql prepared on db; null when SQLite refuses it (sqlite3_errmsg(db) says why).
Statement prepare(sqlite3 *db, const QByteArray &sql);

} // namespace sqlite_connection
