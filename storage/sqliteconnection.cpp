#include "sqliteconnection.h"

#include <QDebug>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

namespace sqlite_connection {

QSqlDatabase add(const QString &name, const QString &fileName, bool readOnly)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(fileName);
    // A writer waits this long for another connection's write lock before it gives up.
    db.setConnectOptions(readOnly
                             ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY")
                             : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    return db;
}

bool open(QSqlDatabase &db, Journal journal)
{
    if (!db.open()) {
        qDebug().noquote() << "Error opening database:" << db.lastError().text();
        return false;
    }
    // The journal mode is kept in the file; asking again is cheap. Without it the
    // database still works, only readers and the writer wait for each other.
    if (!db.connectOptions().contains(QLatin1String("QSQLITE_OPEN_READONLY"))) {
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
    }
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
