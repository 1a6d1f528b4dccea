#include "sqliteconnection.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <sqlite3.h>

namespace {
const QLatin1String readOnlyOption("QSQLITE_OPEN_READONLY");
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

// Opens db anew as a file nothing changes while it is read, where that holds: a file that
// keeps a write-ahead log, with no log of commits beside it and none that can be made, is one
// no writer can be at work on. False when it does not hold (db left as it was) or the file
// cannot be opened so (db closed).
bool reopen_unchanging(QSqlDatabase &db)
{
    const QString fileName = db.databaseName();
    const QFileInfo log(fileName + QStringLiteral("-wal"));
    if (!keeps_write_ahead_log(fileName) || (log.isFile() && log.size() > 0)) {
        return false;
    }
    db.close();
    QUrl uri = QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath());
    uri.setQuery(QStringLiteral("immutable=1"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(db.connectOptions() + QStringLiteral(";QSQLITE_OPEN_URI"));
    return db.open();
}
} // namespace

namespace sqlite_connection {

QSqlDatabase add(const QString &name, const QString &fileName, bool readOnly)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(fileName);
    // A writer waits this long for another connection's write lock before it gives up.
    const QString busyTimeout = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
    db.setConnectOptions(readOnly ? busyTimeout + QLatin1Char(';') + readOnlyOption : busyTimeout);
    return db;
}

bool open(QSqlDatabase &db, Journal journal)
{
    if (!db.open()) {
        qDebug().noquote() << "Error opening database:" << db.lastError().text();
        return false;
    }
    if (db.connectOptions().contains(readOnlyOption)) {
        // SQLite looks for the log at the first read. Any other failure is left to the
        // reader's first query, which says why.
        const int code = sqlite3_exec(native_handle(db), "SELECT count(*) FROM sqlite_master",
                                      nullptr, nullptr, nullptr);
        if (code != SQLITE_OK && log_cannot_be_made(code) && !reopen_unchanging(db) &&
            !db.isOpen()) {
            qDebug().noquote() << "Error opening database:" << db.lastError().text();
            return false;
        }
        return true;
    }
    // The journal mode is kept in the file; asking again is cheap. Without it the
    // database still works, only readers and the writer wait for each other.
    QSqlQuery query(db);
    if (journal == Journal::Off) {
        // Fewer, larger pages make fewer b-tree levels and page splits per row.
        query.exec(QStringLiteral("PRAGMA page_size=%1").arg(scratchPageBytes));
        query.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
        query.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        return true;
    }
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    // In WAL mode a commit then writes the log without waiting for the disk (a few ms
    // each here, and a run's start commits several times on the GUI thread); the file
    // stays whole, and a power cut at most loses the last commits, never a crash.
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    query.exec(QStringLiteral("PRAGMA journal_size_limit=%1").arg(walSizeLimitBytes));
    return true;
}

void remove(const QString &name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

sqlite3 *native_handle(const QSqlDatabase &db)
{
    if (!db.isOpen() || db.driver() == nullptr) {
        return nullptr;
    }
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3 *const *>(handle.constData());
}

QString reason(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
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
