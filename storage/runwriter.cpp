#include "runwriter.h"

#include "runcatalogue.h"
#include "runenvelope.h"
#include "runsettings.h"
#include "sqliteconnection.h"

#include <QDebug>

#include <sqlite3.h>

#include <cmath>

namespace {
constexpr int channelCount = InstrumentLimits::channelCount;
// How a sample that is not a number is stored, and how the CSV shows it.
constexpr char notANumber[] = "nan";

QString create_statement(const QString &table, bool singleChannel)
{
    QString sql = QStringLiteral("CREATE TABLE %1").arg(table);
    sql += QLatin1String(" (id INTEGER PRIMARY KEY, time DOUBLE,");
    if (singleChannel) {
        sql += QLatin1String("Vol FLOAT NOT NULL)");
        return sql;
    }
    for (int n = 1; n <= channelCount; ++n) {
        sql += QStringLiteral("Vol%1 FLOAT NOT NULL").arg(n);
        sql += n < channelCount ? QLatin1Char(',') : QLatin1Char(')');
    }
    return sql;
}

QString insert_statement(const QString &table, bool singleChannel)
{
    if (singleChannel) {
        return QStringLiteral("INSERT INTO %1 (time, Vol) VALUES (?, ?)").arg(table);
    }
    return QStringLiteral("INSERT INTO %1 (time, Vol1,Vol2,Vol3,Vol4,Vol5,Vol6,Vol7,Vol8,Vol9,"
                          "Vol10,Vol11,Vol12,Vol13,Vol14,Vol15,Vol16) VALUES (?,?, ?, ?, ?,?, "
                          "?, ?, ?,?, ?, ?, ?,?, ?, ?, ?)")
        .arg(table);
}

void run_sql(sqlite3 *db, const char *sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}
} // namespace

namespace run_writer {

Creation create(sqlite3 *db, const QString &name, bool singleChannel,
                std::unique_ptr<RunEnvelope> *created, QString *reason)
{
    if (db == nullptr) {
        *reason = QStringLiteral("the database is not open");
        return Creation::Failed;
    }
    const auto fail = [db, reason] {
        *reason = QString::fromUtf8(sqlite3_errmsg(db));
        qDebug().noquote() << "Error executing update:" << *reason;
        if (!sqlite3_get_autocommit(db)) {
            run_sql(db, "ROLLBACK");
        }
        return Creation::Failed;
    };
    // The write lock is taken first, so no other connection, of this process or another, can
    // create the same table between the look-up and the CREATE.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return fail();
    }
    if (run_catalogue::has_table(db, name)) {
        run_sql(db, "ROLLBACK");
        return Creation::NameTaken;
    }
    const QString table = sqlite_connection::quoted(name);
    if (sqlite3_exec(db, create_statement(table, singleChannel).toUtf8().constData(), nullptr,
                     nullptr, nullptr) != SQLITE_OK) {
        return fail();
    }
    const QString index = QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2(time)")
                              .arg(sqlite_connection::quoted(name + QLatin1String("_time")), table);
    if (sqlite3_exec(db, index.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        // Browsing gets slower without the index; the run itself is unaffected.
        qDebug().noquote() << "Error executing update:" << sqlite3_errmsg(db);
    }
    // A envelope whose run table went some other way would describe other rows.
    auto envelope = std::make_unique<RunEnvelope>(name, singleChannel ? 1 : channelCount);
    const QString staleEnvelope =
        QStringLiteral("DROP TABLE IF EXISTS %1")
            .arg(sqlite_connection::quoted(RunEnvelope::table_name(name)));
    QString why;
    if (sqlite3_exec(db, staleEnvelope.toUtf8().constData(), nullptr, nullptr, nullptr) !=
            SQLITE_OK ||
        !envelope->create(db, &why)) {
        // The run is recorded all the same; browsing it reads the rows.
        qDebug().noquote() << "Error executing update:" << why << sqlite3_errmsg(db);
        envelope.reset();
    }
    if (sqlite3_get_autocommit(db) ||
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return fail();
    }
    *created = std::move(envelope);
    return Creation::Created;
}

int insert(sqlite3 *db, const QString &table, bool singleChannel, RunEnvelope *envelope,
           const QList<SampleRow> &batch, QString *error)
{
    // SQLite's words for the first thing that lost rows.
    QString reason;
    const auto lose = [&reason](const QString &why) {
        if (reason.isEmpty()) {
            reason = why;
        }
    };
    const auto report = [&reason, error](int committed) {
        if (error != nullptr) {
            *error = reason;
        }
        return committed;
    };
    if (batch.isEmpty()) {
        return report(0);
    }
    if (db == nullptr) {
        lose(QStringLiteral("the database is not open"));
        return report(0);
    }
    run_sql(db, "PRAGMA synchronous = OFF");
    const QByteArray sql =
        insert_statement(sqlite_connection::quoted(table), singleChannel).toUtf8();
    const sqlite_connection::Statement prepared = sqlite_connection::prepare(db, sql);
    if (!prepared) {
        lose(QString::fromUtf8(sqlite3_errmsg(db)));
        return report(0);
    }
    sqlite3_stmt *statement = prepared.get();
    const qsizetype rowLength = singleChannel ? 2 : 1 + channelCount;
    int committed = 0; // rows already on disk
    int pending = 0;   // rows waiting for the COMMIT
    run_sql(db, "BEGIN");
    for (const SampleRow &row : batch) {
        // A short row would reuse the previous row's values for its missing columns.
        if (row.size() != rowLength) {
            continue;
        }
        for (int i = 0; i < rowLength; ++i) {
            // SQLite stores a NaN as NULL, which the NOT NULL columns refuse, and the whole
            // row would be lost; it is kept as the text "nan" instead.
            if (std::isnan(row[i])) {
                sqlite3_bind_text(statement, i + 1, notANumber, -1, SQLITE_STATIC);
            } else {
                sqlite3_bind_double(statement, i + 1, row[i]);
            }
        }
        const bool stored = sqlite3_step(statement) == SQLITE_DONE;
        if (!stored) {
            lose(QString::fromUtf8(sqlite3_errmsg(db)));
        } else if (envelope != nullptr) {
            envelope->add_row(row.constData());
        }
        sqlite3_reset(statement);
        if (!sqlite3_get_autocommit(db)) {
            pending += stored ? 1 : 0;
        } else {
            // No transaction (BEGIN failed, or an error such as a full disk rolled it back):
            // the rows pending are gone, and a stored row is on disk already.
            pending = 0;
            committed += stored ? 1 : 0;
        }
        if (!stored) {
            // The rest of the batch would meet the same full disk or lock, each row after
            // its own busy time-out: the batch stops here, with what it has stored.
            break;
        }
    }
    // The blocks completed by these rows go in with them, in the same transaction.
    QString envelopeError;
    if (envelope != nullptr && !envelope->write_completed(db, &envelopeError)) {
        qDebug().noquote() << "Error executing update:" << envelopeError;
        envelope->stop();
        if (sqlite3_get_autocommit(db) && pending > 0) {
            // The failure took the transaction and its rows with it.
            lose(envelopeError);
            pending = 0;
        }
    }
    const bool inTransaction = !sqlite3_get_autocommit(db);
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        // Leaving the transaction open would swallow every later batch as well.
        qDebug().noquote() << "Error committing samples:" << sqlite3_errmsg(db);
        if (inTransaction) {
            lose(QString::fromUtf8(sqlite3_errmsg(db)));
        }
        run_sql(db, "ROLLBACK");
    } else if (inTransaction) {
        committed += pending;
    }
    if (envelope != nullptr && !reason.isEmpty()) {
        // Rows are missing from here on: the envelope keeps the blocks stored so far and the
        // rest of the run is read as rows.
        envelope->stop();
    }
    return report(committed);
}

} // namespace run_writer
