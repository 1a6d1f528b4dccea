#include "sampledatabase.h"

#include "runenvelope.h"
#include "runsettings.h"
#include "runtablename.h"
#include "sqliteconnection.h"
#include "tablecsv.h"
#include "threadconnections.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSqlError>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {
constexpr int channelCount = InstrumentLimits::channelCount;
// How a sample that is not a number is stored, and how the CSV shows it.
constexpr char notANumber[] = "nan";

QString owner_connection_name()
{
    // A second instance in the same process must not replace the first one's connection.
    if (QSqlDatabase::contains(QLatin1String(QSqlDatabase::defaultConnection))) {
        return ThreadConnections::unique_name();
    }
    return QLatin1String(QSqlDatabase::defaultConnection);
}

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

// The bounds are bound as doubles: printed, they would have to be printed exactly.
QString time_range_statement(const QString &table, SampleDatabase::RangeEnds ends)
{
    const char *condition = "time >= ? AND time <= ?";
    if (ends == SampleDatabase::RangeEnds::AllButLower)
        condition = "time > ? AND time <= ?";
    else if (ends == SampleDatabase::RangeEnds::AllButUpper)
        condition = "time >= ? AND time < ?";
    return QStringLiteral("SELECT * FROM %1 WHERE %2;")
        .arg(sqlite_connection::quoted(table), QLatin1String(condition));
}

// The id of the first (or last) row of the table at or after (or before) a time, from the
// time index; 0 when there is none.
qint64 row_id_at(sqlite3 *db, const QString &table, double time, bool first)
{
    const QString sql =
        first ? QStringLiteral("SELECT id FROM %1 WHERE time >= ?1 ORDER BY time LIMIT 1")
              : QStringLiteral("SELECT id FROM %1 WHERE time <= ?1 ORDER BY time DESC LIMIT 1");
    const sqlite_connection::Statement prepared =
        sqlite_connection::prepare(db, sql.arg(sqlite_connection::quoted(table)).toUtf8());
    if (!prepared)
        return 0;
    sqlite3_bind_double(prepared.get(), 1, time);
    return sqlite3_step(prepared.get()) == SQLITE_ROW ? sqlite3_column_int64(prepared.get(), 0) : 0;
}

void run_sql(sqlite3 *db, const char *sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool has_table(sqlite3 *db, const QString &name)
{
    const sqlite_connection::Statement lookup = sqlite_connection::prepare(
        db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE");
    if (!lookup)
        return false;
    const QByteArray utf8 = name.toUtf8();
    sqlite3_bind_text(lookup.get(), 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return sqlite3_step(lookup.get()) == SQLITE_ROW;
}
} // namespace

SampleDatabase::SampleDatabase(const QString &fileName, Access access)
    : fileName_(fileName)
    , access_(access)
    , owner_(QThread::currentThread())
    , ownerConnectionName_(owner_connection_name())
    , connection_(
          sqlite_connection::add(ownerConnectionName_, fileName, access == Access::ReadOnly))
    , threadConnections_(std::make_unique<ThreadConnections>(fileName, access == Access::ReadOnly))
{}

SampleDatabase::~SampleDatabase()
{
    threadConnections_.reset();
    if (connection_.isOpen()) {
        connection_.close();
    }
    connection_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(ownerConnectionName_);
}

QSqlDatabase SampleDatabase::connection()
{
    if (QThread::currentThread() == owner_) {
        return connection_;
    }
    return threadConnections_->connection(opened_.load());
}

bool SampleDatabase::open_database()
{
    QSqlDatabase db = connection();
    if (db.isOpen()) {
        return true;
    }
    const bool opened = sqlite_connection::open(db);
    QString reason;
    if (!opened) {
        // SQLite's own words, without Qt's "Error opening database" after them.
        reason = sqlite_connection::reason(db.lastError());
    }
    {
        QMutexLocker lock(&stateMutex_);
        openError_ = reason;
    }
    if (!opened) {
        return false;
    }
    opened_.store(true);
    qDebug() << "Database opened successfully.";
    return true;
}

QString SampleDatabase::open_error() const
{
    QMutexLocker lock(&stateMutex_);
    return openError_;
}

bool SampleDatabase::create_table(const QString &name, bool singleChannel)
{
    {
        QMutexLocker lock(&stateMutex_);
        singleChannel_ = singleChannel;
    }
    QString reason;
    const Creation creation = create_fresh_table(name, singleChannel, &reason);
    if (creation == Creation::NameTaken) {
        reason = QStringLiteral("table %1 already exists").arg(name);
    }
    qDebug() << (creation == Creation::Created ? "表创建成功" : "创建表失败");
    QMutexLocker lock(&stateMutex_);
    createError_ = reason;
    if (creation == Creation::Created) {
        currentTableName_ = name;
    }
    return creation == Creation::Created;
}

QString SampleDatabase::create_run_table(const QDateTime &startTime, bool singleChannel)
{
    const QString base = run_table_base_name(startTime);
    QString name = base;
    for (int suffix = 2;; ++suffix) {
        {
            QMutexLocker lock(&stateMutex_);
            singleChannel_ = singleChannel;
        }
        QString reason;
        const Creation creation = create_fresh_table(name, singleChannel, &reason);
        if (creation != Creation::NameTaken) {
            QMutexLocker lock(&stateMutex_);
            createError_ = reason;
            if (creation != Creation::Created) {
                return QString();
            }
            currentTableName_ = name;
            return name;
        }
        name = base + QLatin1Char('_') + QString::number(suffix);
    }
}

SampleDatabase::Creation SampleDatabase::create_fresh_table(const QString &name, bool singleChannel,
                                                            QString *reason)
{
    if (!accepts_table_name(name)) {
        *reason = QStringLiteral("not a run table name");
        return Creation::Failed;
    }
    sqlite3 *db = sqlite_connection::native_handle(connection());
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
    if (has_table(db, name)) {
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
    QMutexLocker lock(&envelopeMutex_);
    envelope_ = std::move(envelope);
    return Creation::Created;
}

bool SampleDatabase::select_table(const QString &name)
{
    if (!accepts_table_name(name)) {
        return false;
    }
    sqlite3 *db = sqlite_connection::native_handle(connection());
    if (db == nullptr || !has_table(db, name)) {
        return false;
    }
    // A multi-channel table has a column "Vol1"; a single-channel one only "Vol".
    const sqlite_connection::Statement columns =
        sqlite_connection::prepare(db, QStringLiteral("SELECT Vol1 FROM %1 LIMIT 0")
                                           .arg(sqlite_connection::quoted(name))
                                           .toUtf8());
    {
        QMutexLocker envelopeLock(&envelopeMutex_);
        envelope_.reset(); // written only by the run that created the table
    }
    QMutexLocker lock(&stateMutex_);
    currentTableName_ = name;
    singleChannel_ = !columns;
    return true;
}

int SampleDatabase::insert_samples(const QList<SampleRow> &batch, QString *error)
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
    QMutexLocker envelopeLock(&envelopeMutex_);
    sqlite3 *db = sqlite_connection::native_handle(connection());
    if (db == nullptr) {
        lose(QStringLiteral("the database is not open"));
        return report(0);
    }
    run_sql(db, "PRAGMA synchronous = OFF");

    QString table;
    bool singleChannel = true;
    {
        QMutexLocker lock(&stateMutex_);
        table = currentTableName_;
        singleChannel = singleChannel_;
    }
    const QByteArray sql =
        insert_statement(sqlite_connection::quoted(table), singleChannel).toUtf8();
    const sqlite_connection::Statement prepared = sqlite_connection::prepare(db, sql);
    if (!prepared) {
        lose(QString::fromUtf8(sqlite3_errmsg(db)));
        return report(0);
    }
    RunEnvelope *envelope = envelope_ && envelope_->run_table() == table && envelope_->is_writing()
                                ? envelope_.get()
                                : nullptr;
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

QSqlQuery SampleDatabase::query_time_range(double lower, double upper)
{
    QSqlQuery query(connection());
    if (!query.prepare(time_range_statement(current_table_name(), RangeEnds::Both))) {
        qDebug().noquote() << "Error executing query:" << query.lastError().text();
        return query;
    }
    query.addBindValue(lower);
    query.addBindValue(upper);
    if (!query.exec()) {
        qDebug().noquote() << "Error executing query:" << query.lastError().text();
    }
    return query;
}

RangeColumns SampleDatabase::read_time_range(double lower, double upper, RangeEnds ends)
{
    RangeColumns rows;
    sqlite3 *db = sqlite_connection::native_handle(connection());
    if (db == nullptr) {
        return rows;
    }
    const QByteArray sql = time_range_statement(current_table_name(), ends).toUtf8();
    const sqlite_connection::Statement prepared = sqlite_connection::prepare(db, sql);
    if (!prepared) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
        return rows;
    }
    sqlite3_stmt *statement = prepared.get();
    sqlite3_bind_double(statement, 1, lower);
    sqlite3_bind_double(statement, 2, upper);
    // Columns: id, time, then the voltages.
    const int columns = sqlite3_column_count(statement);
    rows.values = QList<QVector<double>>(std::max(columns - 2, 0));
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        rows.times.append(sqlite3_column_double(statement, 1));
        for (int c = 2; c < columns; ++c) {
            rows.values[c - 2].append(sqlite3_column_type(statement, c) == SQLITE_TEXT
                                          ? std::numeric_limits<double>::quiet_NaN()
                                          : sqlite3_column_double(statement, c));
        }
    }
    if (step != SQLITE_DONE) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
    }
    return rows;
}

qint64 SampleDatabase::count_time_range(double lower, double upper)
{
    sqlite3 *db = sqlite_connection::native_handle(connection());
    if (db == nullptr) {
        return 0;
    }
    const QString table = current_table_name();
    const qint64 first = row_id_at(db, table, lower, true);
    const qint64 last = row_id_at(db, table, upper, false);
    return first > 0 && last >= first ? last - first + 1 : 0;
}

RangeEnvelope SampleDatabase::read_envelope(double lower, double upper, int buckets)
{
    const QString table = current_table_name();
    sqlite3 *db = sqlite_connection::native_handle(connection());
    if (db == nullptr) {
        return RangeEnvelope(lower, upper, buckets, 0);
    }
    const qint64 rowsPerBucket = count_time_range(lower, upper) / std::max(buckets, 1);
    int level = 0;
    for (const int rows : RunEnvelope::blockRows) {
        if (rows <= rowsPerBucket) {
            level = rows;
        }
    }

    // The rows no block covers: all of them without a envelope, else those stored after its
    // last complete block. One lower bound, so that the time index starts the scan there.
    RangeEnvelope envelope;
    double coveredUntil = -std::numeric_limits<double>::infinity();
    const auto prepare_rows = [&] {
        return sqlite_connection::prepare(
            db, time_range_statement(table, coveredUntil >= lower ? RangeEnds::AllButLower
                                                                  : RangeEnds::Both)
                    .toUtf8());
    };
    sqlite_connection::Statement prepared = prepare_rows();
    if (!prepared) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
        return RangeEnvelope(lower, upper, buckets, 0);
    }
    // Columns: id, time, then the voltages.
    const int columns = std::max(sqlite3_column_count(prepared.get()) - 2, 0);
    envelope = RangeEnvelope(lower, upper, buckets, columns);
    if (level > 0) {
        coveredUntil = RunEnvelope::read_level(db, table, level, lower, upper, envelope);
        if (coveredUntil >= lower) {
            prepared = prepare_rows();
        }
    }
    sqlite3_stmt *statement = prepared.get();
    if (statement == nullptr) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
        return envelope;
    }
    sqlite3_bind_double(statement, 1, std::max(lower, coveredUntil));
    sqlite3_bind_double(statement, 2, upper);
    std::vector<double> values(columns);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            values[c] = sqlite3_column_type(statement, c + 2) == SQLITE_TEXT
                            ? std::numeric_limits<double>::quiet_NaN()
                            : sqlite3_column_double(statement, c + 2);
        }
        envelope.add_row(sqlite3_column_double(statement, 1), values.data());
    }
    if (step != SQLITE_DONE) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
    }
    return envelope;
}

RunStatistics SampleDatabase::read_statistics(const QString &table, double from, double to)
{
    if (!accepts_table_name(table)) {
        return RunStatistics();
    }
    return RunStatistics::read(sqlite_connection::native_handle(connection()), table, from, to);
}

QSqlQuery SampleDatabase::execute_query(const QString &sql)
{
    QSqlQuery query(connection());
    if (!query.exec(sql)) {
        qDebug().noquote() << "Error executing query:" << query.lastError().text();
    }
    return query;
}

bool SampleDatabase::export_current_table(const QString &path)
{
    const QString table = current_table_name();
    if (table.isEmpty()) {
        qDebug() << "Error: no current table to export";
        return false;
    }
    return write_table_csv(sqlite_connection::native_handle(connection()), table, path,
                           SampleDatabase::runExportDecimals)
        .ok();
}

bool SampleDatabase::export_table(const QString &path, const QString &tableName)
{
    return export_table(path, tableName, SampleDatabase::recoveryExportDecimals);
}

bool SampleDatabase::export_table(const QString &path, const QString &tableName,
                                  int voltageDecimals)
{
    return write_csv(path, tableName, voltageDecimals).ok();
}

CsvOutcome SampleDatabase::write_csv(const QString &path, const QString &tableName,
                                     int voltageDecimals, const std::optional<TimeRange> &range)
{
    if (!accepts_table_name(tableName)) {
        return {CsvOutcome::Status::ReadFailed, QStringLiteral("not a run table name")};
    }
    return write_table_csv(sqlite_connection::native_handle(connection()), tableName, path,
                           voltageDecimals, range);
}

CsvOutcome SampleDatabase::write_csv(QIODevice &device, const QString &tableName,
                                     int voltageDecimals, const std::optional<TimeRange> &range)
{
    if (!accepts_table_name(tableName)) {
        return {CsvOutcome::Status::ReadFailed, QStringLiteral("not a run table name")};
    }
    return write_table_csv(sqlite_connection::native_handle(connection()), tableName, device,
                           voltageDecimals, range);
}

void SampleDatabase::drop_all_tables()
{
    qDebug() << "开始删除所有表";
    QSqlDatabase db = connection();
    if (!db.isOpen()) {
        qDebug() << "数据库未打开";
        return;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table';"))) {
        qDebug().noquote() << "查询表名失败：" << query.lastError().text();
        return;
    }
    QStringList names;
    QStringList envelopes; // dropped with their run tables, without a line of their own
    while (query.next()) {
        const QString name = query.value(0).toString();
        (RunEnvelope::is_table_name(name) ? envelopes : names).append(name);
    }
    query.finish();
    if (names.isEmpty() && envelopes.isEmpty()) {
        qDebug() << "数据库中没有表需要删除";
        return;
    }
    const auto drop = [&query](const QString &name) {
        query.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(sqlite_connection::quoted(name)));
        return query.lastError().type() == QSqlError::NoError;
    };
    db.transaction();
    for (const QString &name : std::as_const(names)) {
        qDebug().noquote() << "删除表：" << name;
        const QString envelope = RunEnvelope::table_name(name);
        if (!drop(name) || (envelopes.removeAll(envelope) > 0 && !drop(envelope))) {
            qDebug().noquote() << "删除表失败：" << query.lastError().text();
            db.rollback();
            return;
        }
        qDebug().noquote() << "表删除成功：" << name;
    }
    // Envelopes whose run table is gone already.
    for (const QString &name : std::as_const(envelopes)) {
        if (!drop(name)) {
            qDebug().noquote() << "删除表失败：" << query.lastError().text();
            db.rollback();
            return;
        }
    }
    db.commit();
}

bool SampleDatabase::drop_tables(const QStringList &names)
{
    sqlite3 *db = sqlite_connection::native_handle(connection());
    if (db == nullptr || names.isEmpty()) {
        return names.isEmpty();
    }
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        qDebug().noquote() << "删除表失败：" << sqlite3_errmsg(db);
        return false;
    }
    for (const QString &name : names) {
        if (!accepts_table_name(name)) {
            continue;
        }
        qDebug().noquote() << "删除表：" << name;
        for (const QString &table : {name, RunEnvelope::table_name(name)}) {
            const QByteArray sql = QStringLiteral("DROP TABLE IF EXISTS %1")
                                       .arg(sqlite_connection::quoted(table))
                                       .toUtf8();
            if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                qDebug().noquote() << "删除表失败：" << sqlite3_errmsg(db);
                run_sql(db, "ROLLBACK");
                return false;
            }
        }
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        qDebug().noquote() << "删除表失败：" << sqlite3_errmsg(db);
        run_sql(db, "ROLLBACK");
        return false;
    }
    return true;
}

QStringList SampleDatabase::table_names()
{
    QStringList names;
    QSqlQuery query(connection());
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table';"))) {
        qDebug().noquote() << "Error executing query:" << query.lastError().text();
        return names;
    }
    while (query.next()) {
        const QString name = query.value(0).toString();
        if (!RunEnvelope::is_table_name(name)) {
            names.append(name);
        }
    }
    return names;
}

bool SampleDatabase::table_exists(const QString &name)
{
    QSqlQuery query(connection());
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?"));
    query.addBindValue(name);
    if (!query.exec()) {
        qDebug().noquote() << "Error executing query:" << query.lastError().text();
        return false;
    }
    return query.next();
}

qint64 SampleDatabase::row_count(const QString &table)
{
    QSqlQuery query = execute_query(
        QStringLiteral("SELECT COUNT(*) FROM %1").arg(sqlite_connection::quoted(table)));
    return query.next() ? query.value(0).toLongLong() : -1;
}

QStringList SampleDatabase::run_names()
{
    return run_catalogue::run_names(sqlite_connection::native_handle(connection()));
}

std::optional<RunListing> SampleDatabase::describe_run(const QString &table, QString *reason)
{
    return run_catalogue::describe(sqlite_connection::native_handle(connection()), table, reason);
}

QString SampleDatabase::create_error() const
{
    QMutexLocker lock(&stateMutex_);
    return createError_;
}

QString SampleDatabase::current_table_name() const
{
    QMutexLocker lock(&stateMutex_);
    return currentTableName_;
}

bool SampleDatabase::is_single_channel() const
{
    QMutexLocker lock(&stateMutex_);
    return singleChannel_;
}

bool SampleDatabase::is_valid_table_name(const QString &name)
{
    return is_run_table_name(name);
}

bool SampleDatabase::accepts_table_name(const QString &name) const
{
    if (is_valid_table_name(name)) {
        return true;
    }
    qDebug().noquote() << "Invalid table name:" << name;
    return false;
}
