#pragma once

#include <QSqlDatabase>
#include <QString>

#include <QByteArray>

#include <memory>

class QSqlError;
struct sqlite3;
struct sqlite3_stmt;

// Setting up the QSQLITE connections of the sample database: every connection to the
// file gets the same busy time-out and the write-ahead journal, so a reader on one
// thread never blocks the inserts of another.
namespace sqlite_connection {

// Registers (does not open) a QSQLITE connection under name for fileName; a read-only one
// never writes the file.
QSqlDatabase add(const QString &name, const QString &fileName, bool readOnly = false);

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

// Opens db and switches the file to the write-ahead journal, bounded by walSizeLimitBytes, or
// with Journal::Off to no journal, no syncs and larger pages (on a file not yet written). A
// read-only connection changes nothing and is opened so it can read where no write-ahead log
// can be made (a read-only mount, a folder the reader may not write); the journal is left
// alone. Reports a failure on the debug output and returns false.
bool open(QSqlDatabase &db, Journal journal = Journal::WriteAhead);

// Closes and unregisters the connection called name; no handle to it may remain.
void remove(const QString &name);

// The SQLite handle under an open QSQLITE connection, or nullptr.
sqlite3 *native_handle(const QSqlDatabase &db);

// SQLite's own words for error ("file is not a database"), without Qt's words around them;
// Qt's text when SQLite gave none.
QString reason(const QSqlError &error);

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
