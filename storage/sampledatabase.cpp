#include "sampledatabase.h"

#include "sqliteconnection.h"
#include "tablecsv.h"
#include "threadconnections.h"

#include <QDebug>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSqlError>
#include <QThread>

#include <sqlite3.h>

#include <cmath>
#include <limits>

namespace {
constexpr int channelCount = 16;
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
    QString sql = QStringLiteral("CREATE TABLE IF NOT EXISTS %1").arg(table);
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

// Bounds with six significant digits, as the plot has always asked for them.
QString time_range_statement(const QString &table, double lower, double upper)
{
    return QStringLiteral("SELECT * FROM %1 WHERE time BETWEEN %2 AND %3;")
        .arg(sqlite_connection::quoted(table), QString::number(lower, 'g', 6),
             QString::number(upper, 'g', 6));
}

void run_sql(sqlite3 *db, const char *sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}
} // namespace

SampleDatabase::SampleDatabase(const QString &fileName)
    : fileName_(fileName)
    , owner_(QThread::currentThread())
    , ownerConnectionName_(owner_connection_name())
    , connection_(sqlite_connection::add(ownerConnectionName_, fileName))
    , threadConnections_(std::make_unique<ThreadConnections>(fileName))
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
    bool ok = accepts_table_name(name);
    QString reason = ok ? QString() : QStringLiteral("not a run table name");
    if (ok) {
        const QString table = sqlite_connection::quoted(name);
        QSqlQuery query(connection());
        ok = query.exec(create_statement(table, singleChannel));
        if (!ok) {
            reason = sqlite_connection::reason(query.lastError());
            qDebug().noquote() << "Error executing update:" << query.lastError().text();
        } else if (!query.exec(
                       QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2(time)")
                           .arg(sqlite_connection::quoted(name + QLatin1String("_time")), table))) {
            // Browsing gets slower without the index; the run itself is unaffected.
            qDebug().noquote() << "Error executing update:" << query.lastError().text();
        }
    }
    qDebug() << (ok ? "表创建成功" : "创建表失败");
    QMutexLocker lock(&stateMutex_);
    createError_ = reason;
    if (ok) {
        currentTableName_ = name;
    }
    return ok;
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
    return report(committed);
}

QSqlQuery SampleDatabase::query_time_range(double lower, double upper)
{
    return execute_query(time_range_statement(current_table_name(), lower, upper));
}

RangeColumns SampleDatabase::read_time_range(double lower, double upper)
{
    RangeColumns rows;
    sqlite3 *db = sqlite_connection::native_handle(connection());
    if (db == nullptr) {
        return rows;
    }
    const QByteArray sql = time_range_statement(current_table_name(), lower, upper).toUtf8();
    const sqlite_connection::Statement prepared = sqlite_connection::prepare(db, sql);
    if (!prepared) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
        return rows;
    }
    sqlite3_stmt *statement = prepared.get();
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
                                     int voltageDecimals)
{
    if (!accepts_table_name(tableName)) {
        return {CsvOutcome::Status::ReadFailed, QStringLiteral("not a run table name")};
    }
    return write_table_csv(sqlite_connection::native_handle(connection()), tableName, path,
                           voltageDecimals);
}

CsvOutcome SampleDatabase::write_csv(QIODevice &device, const QString &tableName,
                                     int voltageDecimals)
{
    if (!accepts_table_name(tableName)) {
        return {CsvOutcome::Status::ReadFailed, QStringLiteral("not a run table name")};
    }
    return write_table_csv(sqlite_connection::native_handle(connection()), tableName, device,
                           voltageDecimals);
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
    while (query.next()) {
        names.append(query.value(0).toString());
    }
    query.finish();
    if (names.isEmpty()) {
        qDebug() << "数据库中没有表需要删除";
        return;
    }
    db.transaction();
    for (const QString &name : std::as_const(names)) {
        qDebug().noquote() << "删除表：" << name;
        query.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(sqlite_connection::quoted(name)));
        if (query.lastError().type() != QSqlError::NoError) {
            qDebug().noquote() << "删除表失败：" << query.lastError().text();
            db.rollback();
            return;
        }
        qDebug().noquote() << "表删除成功：" << name;
    }
    db.commit();
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
        names.append(query.value(0).toString());
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
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("dataSample_[0-9]{8}_[0-9]{2}_[0-9]{2}_[0-9]{2}(_[0-9]+)?")));
    return pattern.match(name).hasMatch();
}

bool SampleDatabase::accepts_table_name(const QString &name) const
{
    if (is_valid_table_name(name)) {
        return true;
    }
    qDebug().noquote() << "Invalid table name:" << name;
    return false;
}
