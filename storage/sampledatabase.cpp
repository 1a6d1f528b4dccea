#include "sampledatabase.h"

#include "databasefiles.h"
#include "runenvelope.h"
#include "runowner.h"
#include "runsettings.h"
#include "runsidecar.h"
#include "runtablename.h"
#include "sqliteconnection.h"
#include "tablecsv.h"
#include "threadconnections.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {
sqlite_connection::Journal journal_of(SampleDatabase::Access access)
{
    return access == SampleDatabase::Access::Scratch ? sqlite_connection::Journal::Off
                                                     : sqlite_connection::Journal::WriteAhead;
}

// What an insert says when no table was created: rows were lost, unless there were none.
SampleDatabase::Stored no_table(bool empty)
{
    if (empty) {
        return {};
    }
    return {0, Status::write_failed(QStringLiteral("no run table to write to"))};
}
} // namespace

SampleDatabase::SampleDatabase(const QString &fileName, Access access)
    : fileName_(fileName)
    , access_(access)
    , hadLog_(database_files::has_log(fileName))
    , owner_(QThread::currentThread())
    , threadConnections_(std::make_unique<ThreadConnections>(fileName, access == Access::ReadOnly,
                                                             journal_of(access)))
{}

SampleDatabase::~SampleDatabase()
{
    {
        // Its statements go before the connections they were prepared on.
        QMutexLocker lock(&writerMutex_);
        writer_.reset();
    }
    threadConnections_.reset();
    connection_.reset();
    if (access_ == Access::ReadOnly && !hadLog_) {
        database_files::remove_unused_log(fileName_);
    }
}

sqlite3 *SampleDatabase::connection()
{
    if (QThread::currentThread() == owner_) {
        return connection_.get();
    }
    return threadConnections_->connection(opened_.load());
}

Status SampleDatabase::open_database()
{
    if (connection() != nullptr) {
        return Status::success();
    }
    sqlite3 *db = nullptr;
    QString reason;
    if (QThread::currentThread() == owner_) {
        Result<sqlite_connection::Handle> opened =
            sqlite_connection::open(fileName_, access_ == Access::ReadOnly, journal_of(access_));
        if (opened.ok()) {
            connection_ = std::move(opened.value());
            db = connection_.get();
        } else {
            reason = opened.status().message();
        }
    } else {
        db = threadConnections_->connection(true, &reason);
    }
    {
        QMutexLocker lock(&stateMutex_);
        openError_ = reason;
    }
    if (db == nullptr) {
        return Status::read_failed(reason);
    }
    if (QThread::currentThread() == owner_ && access_ == Access::ReadWrite) {
        // The owner's thread (the window's or the recorder's) commits a run's few rows of its
        // own: tables, facts, gaps, marks. Copying the log into the file is left to the
        // threads that store the samples; here a commit would carry everything they stored
        // since their last checkpoint (tens of ms on the thread that draws the window).
        sqlite3_exec(db, "PRAGMA wal_autocheckpoint=0", nullptr, nullptr, nullptr);
    }
    opened_.store(true);
    qDebug() << "Database opened successfully.";
    return Status::success();
}

Status SampleDatabase::check_readable()
{
    sqlite3 *db = connection();
    if (db == nullptr) {
        QMutexLocker lock(&stateMutex_);
        return Status::read_failed(openError_.isEmpty() ? QStringLiteral("the database is not open")
                                                        : openError_);
    }
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        return Status::read_failed(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    return Status::success();
}

sqlite3 *SampleDatabase::connection_handle()
{
    return connection();
}

Status SampleDatabase::create_table(const QString &name, bool singleChannel)
{
    {
        QMutexLocker lock(&stateMutex_);
        singleChannel_ = singleChannel;
    }
    const Status created = create_fresh_table(name, singleChannel);
    qDebug() << (created.ok() ? "表创建成功" : "创建表失败");
    if (created.ok()) {
        QMutexLocker lock(&stateMutex_);
        currentTableName_ = name;
    }
    return created;
}

Result<QString> SampleDatabase::create_run_table(const QDateTime &startTime, bool singleChannel)
{
    const QString base = run_table_base_name(startTime);
    QString name = base;
    for (int suffix = 2;; ++suffix) {
        {
            QMutexLocker lock(&stateMutex_);
            singleChannel_ = singleChannel;
        }
        const Status created = create_fresh_table(name, singleChannel);
        if (!created.is(Status::Kind::Exists)) {
            if (!created.ok()) {
                return created;
            }
            QMutexLocker lock(&stateMutex_);
            currentTableName_ = name;
            return name;
        }
        name = base + QLatin1Char('_') + QString::number(suffix);
    }
}

Status SampleDatabase::create_fresh_table(const QString &name, bool singleChannel)
{
    if (!accepts_table_name(name)) {
        return Status::invalid(QStringLiteral("not a run table name"));
    }
    Result<std::unique_ptr<RunWriter>> writer =
        RunWriter::create(connection(), name, singleChannel);
    if (writer.status().is(Status::Kind::Exists)) {
        return writer.status();
    }
    // Without a table of its own a run writes nowhere, not into the one before.
    QMutexLocker lock(&writerMutex_);
    writer_ = writer.ok() ? std::move(writer.value()) : nullptr;
    return writer.ok() ? Status::success() : writer.status();
}

SampleDatabase::Stored SampleDatabase::insert_samples(const QList<SampleRow> &batch)
{
    QMutexLocker lock(&writerMutex_);
    if (writer_ == nullptr) {
        return no_table(batch.isEmpty());
    }
    QString error;
    const int rows = writer_->insert(connection(), batch, &error);
    return {rows, error.isEmpty() ? Status::success() : Status::write_failed(error)};
}

std::unique_ptr<RunWriter> SampleDatabase::take_writer(const QString &table)
{
    QMutexLocker lock(&writerMutex_);
    if (writer_ == nullptr || writer_->table() != table) {
        return nullptr;
    }
    return std::move(writer_);
}

SampleDatabase::Stored SampleDatabase::insert_samples(RunWriter &writer,
                                                      const QList<SampleRow> &batch)
{
    QString error;
    const int rows = writer.insert(connection(), batch, &error);
    return {rows, error.isEmpty() ? Status::success() : Status::write_failed(error)};
}

SampleDatabase::Stored SampleDatabase::insert_rows(const double *values, qsizetype rows)
{
    QMutexLocker lock(&writerMutex_);
    if (writer_ == nullptr) {
        return no_table(rows == 0);
    }
    QString error;
    const int stored = writer_->insert(connection(), values, rows, &error);
    return {stored, error.isEmpty() ? Status::success() : Status::write_failed(error)};
}

RangeColumns SampleDatabase::read_time_range(const QString &table, double lower, double upper,
                                             RangeEnds ends)
{
    return run_reader::read_time_range(connection(), table, lower, upper, ends);
}

qint64 SampleDatabase::count_time_range(const QString &table, double lower, double upper)
{
    return run_reader::count_time_range(connection(), table, lower, upper);
}

RangeEnvelope SampleDatabase::read_envelope(const QString &table, double lower, double upper,
                                            int buckets)
{
    return run_reader::read_envelope(connection(), table, lower, upper, buckets);
}

RunStatistics SampleDatabase::read_statistics(const QString &table, const TimeRange &range)
{
    if (!accepts_table_name(table)) {
        return RunStatistics();
    }
    return RunStatistics::read(connection(), table, range);
}

bool SampleDatabase::export_table(const QString &path, const QString &tableName,
                                  int voltageDecimals)
{
    return write_csv(path, tableName, voltageDecimals).ok();
}

Status SampleDatabase::write_csv(const QString &path, const QString &tableName, int voltageDecimals,
                                 const std::optional<TimeRange> &range,
                                 std::atomic<qint64> *rowsWritten)
{
    if (!accepts_table_name(tableName)) {
        return Status::read_failed(QStringLiteral("not a run table name"));
    }
    return write_table_csv(connection(), tableName, path, voltageDecimals, range, rowsWritten);
}

Status SampleDatabase::write_csv(QIODevice &device, const QString &tableName, int voltageDecimals,
                                 const std::optional<TimeRange> &range,
                                 std::atomic<qint64> *rowsWritten)
{
    if (!accepts_table_name(tableName)) {
        return Status::read_failed(QStringLiteral("not a run table name"));
    }
    return write_table_csv(connection(), tableName, device, voltageDecimals, range, rowsWritten);
}

void SampleDatabase::drop_all_tables()
{
    qDebug() << "开始删除所有表";
    sqlite3 *db = connection();
    if (db == nullptr) {
        qDebug() << "数据库未打开";
        return;
    }
    // Envelope tables too: those whose run table went some other way.
    QStringList names;
    const sqlite_connection::Statement tables =
        sqlite_connection::prepare(db, "SELECT name FROM sqlite_master WHERE type='table'");
    while (tables && sqlite3_step(tables.get()) == SQLITE_ROW) {
        names.append(QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(tables.get(), 0))));
    }
    if (names.isEmpty()) {
        qDebug() << "数据库中没有表需要删除";
        return;
    }
    run_catalogue::drop_tables(db, names);
}

bool SampleDatabase::drop_tables(const QStringList &names)
{
    QStringList runs = names;
    runs.removeIf([this](const QString &name) { return !accepts_table_name(name); });
    return run_catalogue::drop_tables(connection(), runs);
}

QStringList SampleDatabase::table_names()
{
    return run_catalogue::table_names(connection());
}

bool SampleDatabase::table_exists(const QString &name)
{
    return run_catalogue::has_table(connection(), name);
}

qint64 SampleDatabase::row_count(const QString &table)
{
    return run_catalogue::row_count(connection(), table);
}

QStringList SampleDatabase::run_names()
{
    return run_catalogue::run_names(connection());
}

Result<RunListing> SampleDatabase::describe_run(const QString &table, run_catalogue::RowCount count)
{
    QString reason;
    std::optional<RunListing> run = run_catalogue::describe(connection(), table, &reason, count);
    if (!run) {
        return Status::read_failed(reason);
    }
    return std::move(*run);
}

Status SampleDatabase::write_facts_start(const QString &table, const RunFacts &facts)
{
    QString reason;
    return run_facts::write_start(connection(), table, facts, &reason)
               ? Status::success()
               : Status::write_failed(reason);
}

Status SampleDatabase::write_facts_end(const QString &table, const RunFacts &facts)
{
    QString reason;
    return run_facts::write_end(connection(), table, facts, &reason) ? Status::success()
                                                                     : Status::write_failed(reason);
}

std::optional<RunFacts> SampleDatabase::read_facts(const QString &table)
{
    if (!accepts_table_name(table))
        return std::nullopt;
    sqlite3 *db = connection();
    std::optional<RunFacts> facts = run_facts::read(db, table);
    if (facts)
        RunOwner::complete_read_facts(QString::fromUtf8(sqlite3_db_filename(db, "main")), table,
                                      *facts);
    return facts;
}

Status SampleDatabase::add_mark(const QString &table, const RunMark &mark)
{
    QString reason;
    return run_marks::add(connection(), table, mark, &reason) ? Status::success()
                                                              : Status::write_failed(reason);
}

QList<RunMark> SampleDatabase::read_marks(const QString &table)
{
    if (!accepts_table_name(table))
        return {};
    return run_marks::read(connection(), table);
}

Status SampleDatabase::add_gap(const QString &table, const RunGap &gap)
{
    QString reason;
    return run_gaps::add(connection(), table, gap, &reason) ? Status::success()
                                                            : Status::write_failed(reason);
}

QList<RunGap> SampleDatabase::read_gaps(const QString &table)
{
    if (!accepts_table_name(table))
        return {};
    return run_gaps::read(connection(), table);
}

Result<QByteArray> SampleDatabase::sidecar_content(const QString &table,
                                                   const std::optional<TimeRange> &range)
{
    if (!accepts_table_name(table))
        return Status::read_failed(QStringLiteral("not a run table name"));
    return run_sidecar::content(connection(), table, range);
}

Status SampleDatabase::write_sidecar(const QString &exportedFile, const QString &table,
                                     const std::optional<TimeRange> &range)
{
    if (!accepts_table_name(table))
        return Status::read_failed(QStringLiteral("not a run table name"));
    return run_sidecar::write(connection(), table, exportedFile, range);
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
