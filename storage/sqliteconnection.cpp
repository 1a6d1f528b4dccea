#include "sqliteconnection.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

namespace {
// Where the header says which journal the file keeps: 2 and 2 for a write-ahead log.
constexpr qint64 journalVersionsOffset = 18;

bool keeps_write_ahead_log(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && file.seek(journalVersionsOffset) &&
           file.read(2) == QByteArray("\x02\x02", 2);
}

// The log or its index cannot be made beside the file: a folder the reader may not write, a
// read-only mount, or something else under the log's name.
bool log_cannot_be_made(int code)
{
    return (code & 0xff) == SQLITE_CANTOPEN || (code & 0xff) == SQLITE_READONLY;
}

// Opens name (a path, or a file: URI with uri set) with the time-out every connection has.
Result<sqlite_connection::Handle> open_file(const QString &name, bool readOnly, bool uri)
{
    int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // One thread uses a connection at a time, each thread its own.
    flags |= SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
    if (uri) {
        flags |= SQLITE_OPEN_URI;
    }
    sqlite3 *opened = nullptr;
    const int code = sqlite3_open_v2(name.toUtf8().constData(), &opened, flags, nullptr);
    sqlite_connection::Handle db(opened);
    if (code != SQLITE_OK) {
        const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db.get()))
                                  : QString::fromUtf8(sqlite3_errstr(code));
        qDebug().noquote() << "Error opening database:" << reason;
        return Status::read_failed(reason);
    }
    sqlite3_busy_timeout(db.get(), sqlite_connection::busyTimeoutMs);
    // The callers tell a missing log from other failures by the extended codes.
    sqlite3_extended_result_codes(db.get(), 1);
    return db;
}

// Opens fileName anew as a file nothing changes while it is read, where that holds: a file
// that keeps a write-ahead log, with no log of commits beside it and none that can be made,
// is one no writer can be at work on. Nothing (db left as it was) when it does not hold.
std::optional<Result<sqlite_connection::Handle>> reopen_unchanging(const QString &fileName)
{
    const QFileInfo log(fileName + QStringLiteral("-wal"));
    if (!keeps_write_ahead_log(fileName) || (log.isFile() && log.size() > 0)) {
        return std::nullopt;
    }
    QUrl uri = QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath());
    uri.setQuery(QStringLiteral("immutable=1"));
    return open_file(uri.toString(QUrl::FullyEncoded), true, true);
}

void run(sqlite3 *db, const QString &sql)
{
    sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
}
} // namespace

namespace sqlite_connection {

void Closer::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

Result<Handle> open(const QString &fileName, bool readOnly, Journal journal)
{
    Result<Handle> db = open_file(fileName, readOnly, false);
    if (!db.ok()) {
        return db;
    }
    if (readOnly) {
        // SQLite looks for the log at the first read. Any other failure is left to the
        // reader's first query, which says why.
        const int code = sqlite3_exec(db.value().get(), "SELECT count(*) FROM sqlite_master",
                                      nullptr, nullptr, nullptr);
        if (code != SQLITE_OK && log_cannot_be_made(code)) {
            if (std::optional<Result<Handle>> unchanging = reopen_unchanging(fileName)) {
                return std::move(*unchanging);
            }
        }
        return db;
    }
    // The journal mode is kept in the file; asking again is cheap. Without it the
    // database still works, only readers and the writer wait for each other.
    sqlite3 *handle = db.value().get();
    if (journal == Journal::Off) {
        // Fewer, larger pages make fewer b-tree levels and page splits per row.
        run(handle, QStringLiteral("PRAGMA page_size=%1").arg(scratchPageBytes));
        run(handle, QStringLiteral("PRAGMA journal_mode=OFF"));
        run(handle, QStringLiteral("PRAGMA synchronous=OFF"));
        return db;
    }
    run(handle, QStringLiteral("PRAGMA journal_mode=WAL"));
    // In WAL mode a commit then writes the log without waiting for the disk (a few ms
    // each here, and a run's start commits several times on the GUI thread); the file
    // stays whole, and a power cut at most loses the last commits, never a crash.
    run(handle, QStringLiteral("PRAGMA synchronous=NORMAL"));
    run(handle, QStringLiteral("PRAGMA journal_size_limit=%1").arg(walSizeLimitBytes));
    return db;
}

QString quoted(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void StatementFinalizer::operator()(sqlite3_stmt *statement) const
{
    sqlite3_finalize(statement);
}

Statement prepare(sqlite3 *db, const QByteArray &sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

} // namespace sqlite_connection
