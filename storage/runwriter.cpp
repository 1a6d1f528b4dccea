#include "runwriter.h"

#include "protocol.h"
#include "runcatalogue.h"
#include "runenvelope.h"
#include "sqliteconnection.h"
#include "vectorstate.h"

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

// Rows per INSERT of a full stretch: one statement run for many rows saves most of what
// SQLite spends per statement (opening the table, the record of the run, the reset). A bulk
// load takes more at once; the save thread's batches of a few hundred rows, whose statements
// are prepared anew with each transaction, fewer.
constexpr int rowsPerStatement = 32;
constexpr int rowsPerBulkStatement = 128;

// An INSERT of `rows` rows into table.
QString insert_statement(const QString &table, bool singleChannel, int rows)
{
    QString sql = QStringLiteral("INSERT INTO %1 (time").arg(table);
    QString values = QStringLiteral("(?");
    for (int n = 1; n <= (singleChannel ? 1 : channelCount); ++n) {
        sql += singleChannel ? QStringLiteral(", Vol") : QStringLiteral(", Vol%1").arg(n);
        values += QLatin1String(",?");
    }
    values += QLatin1Char(')');
    sql += QLatin1String(") VALUES ") + values;
    for (int r = 1; r < rows; ++r) {
        sql += QLatin1Char(',') + values;
    }
    return sql;
}

void run_sql(sqlite3 *db, const char *sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// A row of the batch, or nullptr when its length does not fit the table.
struct ListRows
{
    const QList<SampleRow> &batch;
    qsizetype length;
    static constexpr int rowsPerInsert = rowsPerStatement;
    const double *operator()(qsizetype i) const
    {
        // A short row would reuse the previous row's values for its missing columns.
        return batch[i].size() == length ? batch[i].constData() : nullptr;
    }
};

struct FlatRows
{
    const double *values;
    qsizetype length;
    static constexpr int rowsPerInsert = rowsPerBulkStatement;
    const double *operator()(qsizetype i) const { return values + i * length; }
};
} // namespace

Result<std::unique_ptr<RunWriter>> RunWriter::create(sqlite3 *db, const QString &name,
                                                     bool singleChannel)
{
    if (db == nullptr) {
        return Status::write_failed(QStringLiteral("the database is not open"));
    }
    const auto fail = [db] {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
        qDebug().noquote() << "Error executing update:" << reason;
        if (!sqlite3_get_autocommit(db)) {
            run_sql(db, "ROLLBACK");
        }
        return Status::write_failed(reason);
    };
    // The write lock is taken first, so no other connection, of this process or another, can
    // create the same table between the look-up and the CREATE.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return fail();
    }
    if (run_catalogue::has_table(db, name)) {
        run_sql(db, "ROLLBACK");
        return Status::exists(QStringLiteral("table %1 already exists").arg(name));
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
    return std::make_unique<RunWriter>(name, singleChannel, std::move(envelope));
}

RunWriter::RunWriter(const QString &table, bool singleChannel,
                     std::unique_ptr<RunEnvelope> envelope)
    : table_(table)
    , singleChannel_(singleChannel)
    , envelope_(std::move(envelope))
{}

RunWriter::~RunWriter()
{
    release();
}

int RunWriter::row_length() const
{
    return singleChannel_ ? 2 : 1 + channelCount;
}

void RunWriter::release()
{
    sqlite3_finalize(insertOne_);
    sqlite3_finalize(insertMany_);
    insertOne_ = nullptr;
    insertMany_ = nullptr;
    preparedFor_ = nullptr;
    if (envelope_ != nullptr) {
        envelope_->release();
    }
}

bool RunWriter::prepare(sqlite3 *db, int rowsPerInsert)
{
    if (preparedFor_ == db && preparedRows_ == rowsPerInsert) {
        return true;
    }
    release();
    // The rows are committed with synchronous off: a crash of the program loses nothing,
    // and a power cut at most the last transactions; set once per connection.
    run_sql(db, "PRAGMA synchronous = OFF");
    const QString table = sqlite_connection::quoted(table_);
    sqlite_connection::Statement one =
        sqlite_connection::prepare(db, insert_statement(table, singleChannel_, 1).toUtf8());
    sqlite_connection::Statement many = sqlite_connection::prepare(
        db, insert_statement(table, singleChannel_, rowsPerInsert).toUtf8());
    if (!one || !many) {
        return false;
    }
    insertOne_ = one.release();
    insertMany_ = many.release();
    preparedFor_ = db;
    preparedRows_ = rowsPerInsert;
    return true;
}

int RunWriter::insert(sqlite3 *db, const QList<SampleRow> &batch, QString *error)
{
    return insert_rows(db, batch.size(), ListRows{batch, row_length()}, error);
}

int RunWriter::insert(sqlite3 *db, const double *values, qsizetype rows, QString *error)
{
    return insert_rows(db, rows, FlatRows{values, row_length()}, error);
}

template <typename RowAt>
int RunWriter::insert_rows(sqlite3 *db, qsizetype rows, RowAt row_at, QString *error)
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
    if (rows == 0) {
        return report(0);
    }
    if (db == nullptr) {
        lose(QStringLiteral("the database is not open"));
        return report(0);
    }
    if (!prepare(db, RowAt::rowsPerInsert)) {
        lose(QString::fromUtf8(sqlite3_errmsg(db)));
        return report(0);
    }
    RunEnvelope *envelope =
        envelope_ != nullptr && envelope_->is_writing() ? envelope_.get() : nullptr;
    const int rowLength = row_length();
    int committed = 0; // rows already on disk
    int pending = 0;   // rows waiting for the COMMIT
    // Runs statement for the first `count` rows of chunk; false when SQLite refused them.
    const auto store = [&](sqlite3_stmt *statement, const double *const *chunk, int count) {
        int parameter = 1;
        for (int k = 0; k < count; ++k) {
            for (int i = 0; i < rowLength; ++i, ++parameter) {
                // SQLite stores a NaN as NULL, which the NOT NULL columns refuse, and the
                // whole row would be lost; it is kept as the text "nan" instead.
                if (std::isnan(chunk[k][i])) {
                    sqlite3_bind_text(statement, parameter, notANumber, -1, SQLITE_STATIC);
                } else {
                    sqlite3_bind_double(statement, parameter, chunk[k][i]);
                }
            }
        }
        const bool stored = sqlite3_step(statement) == SQLITE_DONE;
        if (!stored) {
            lose(QString::fromUtf8(sqlite3_errmsg(db)));
        } else if (envelope != nullptr) {
            for (int k = 0; k < count; ++k) {
                envelope->add_row(chunk[k]);
            }
        }
        sqlite3_reset(statement);
        if (!sqlite3_get_autocommit(db)) {
            pending += stored ? count : 0;
        } else {
            // No transaction (BEGIN failed, or an error such as a full disk rolled it back):
            // the rows pending are gone, and stored rows are on disk already.
            pending = 0;
            committed += stored ? count : 0;
        }
        return stored;
    };
    // The statements were prepared through Qt's strings; SQLite's own code runs from here.
    clear_upper_vector_state();
    run_sql(db, "BEGIN");
    const double *chunk[RowAt::rowsPerInsert];
    int held = 0;
    bool storing = true;
    for (qsizetype r = 0; storing && r < rows; ++r) {
        const double *row = row_at(r);
        if (row == nullptr) {
            continue;
        }
        chunk[held++] = row;
        if (held == RowAt::rowsPerInsert) {
            // The rest of the batch would meet the same full disk or lock, each statement
            // after its own busy time-out: the batch stops at the first refusal.
            storing = store(insertMany_, chunk, held);
            held = 0;
        }
    }
    for (int k = 0; storing && k < held; ++k) {
        storing = store(insertOne_, chunk + k, 1);
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
    // The statements go with the transaction: a connection with a statement left open cannot
    // close, and the thread that inserted may end with its connection at any time.
    release();
    if (envelope != nullptr && !reason.isEmpty()) {
        // Rows are missing from here on: the envelope keeps the blocks stored so far and the
        // rest of the run is read as rows.
        envelope->stop();
    }
    return report(committed);
}
