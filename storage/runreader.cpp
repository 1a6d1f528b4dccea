#include "runreader.h"

#include "runenvelope.h"
#include "sqliteconnection.h"

#include <QDebug>

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace {
// The bounds are bound as doubles: printed, they would have to be printed exactly.
QString time_range_statement(const QString &table, run_reader::RangeEnds ends)
{
    const char *condition = "time >= ? AND time <= ?";
    if (ends == run_reader::RangeEnds::AllButLower)
        condition = "time > ? AND time <= ?";
    else if (ends == run_reader::RangeEnds::AllButUpper)
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

} // namespace

namespace run_reader {

RangeColumns read_time_range(sqlite3 *db, const QString &table, double lower, double upper,
                             RangeEnds ends)
{
    RangeColumns rows;
    if (db == nullptr) {
        return rows;
    }
    const QByteArray sql = time_range_statement(table, ends).toUtf8();
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

Result<SampleBatch> read_rows(sqlite3 *db, const QString &table, qint64 firstRow, qint64 maxRows,
                              QStringList *columns)
{
    if (db == nullptr) {
        return Status::read_failed(QStringLiteral("no database"));
    }
    const QString sql = QStringLiteral("SELECT * FROM %1 WHERE id > ?1 ORDER BY id LIMIT ?2")
                            .arg(sqlite_connection::quoted(table));
    const sqlite_connection::Statement prepared = sqlite_connection::prepare(db, sql.toUtf8());
    if (!prepared) {
        return Status::read_failed(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    sqlite3_stmt *statement = prepared.get();
    sqlite3_bind_int64(statement, 1, firstRow);
    sqlite3_bind_int64(statement, 2, maxRows);
    const int columnCount = sqlite3_column_count(statement);
    if (columns != nullptr) {
        columns->clear();
        for (int c = 0; c < columnCount; ++c) {
            columns->append(QString::fromUtf8(sqlite3_column_name(statement, c)));
        }
    }
    SampleBatch batch(firstRow, std::max(columnCount - 2, 0));
    std::vector<double> values(size_t(std::max(columnCount - 2, 0)));
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        if (sqlite3_column_int64(statement, 0) != batch.end_row() + 1) {
            break;
        }
        for (int c = 2; c < columnCount; ++c) {
            values[size_t(c - 2)] = sqlite3_column_type(statement, c) == SQLITE_TEXT
                                        ? std::numeric_limits<double>::quiet_NaN()
                                        : sqlite3_column_double(statement, c);
        }
        batch.append(sqlite3_column_double(statement, 1), values.data());
    }
    if (step != SQLITE_DONE && step != SQLITE_ROW) {
        return Status::read_failed(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    return batch;
}

qint64 count_time_range(sqlite3 *db, const QString &table, double lower, double upper)
{
    if (db == nullptr) {
        return 0;
    }
    const qint64 first = row_id_at(db, table, lower, true);
    const qint64 last = row_id_at(db, table, upper, false);
    return first > 0 && last >= first ? last - first + 1 : 0;
}

RangeEnvelope read_envelope(sqlite3 *db, const QString &table, double lower, double upper,
                            int buckets)
{
    if (db == nullptr) {
        return RangeEnvelope(lower, upper, buckets, 0);
    }
    const qint64 rowsPerBucket = count_time_range(db, table, lower, upper) / std::max(buckets, 1);
    // The levels to read, coarsest first: the coarsest with a block per bucket, then the finer
    // ones for what its last block leaves (up to a whole coarse block, 262,143 rows of 16
    // columns at the top), so that fewer rows than one finest block are read as rows.
    std::vector<int> levels;
    if (rowsPerBucket >= RunEnvelope::blockRows.front() / 4) { // the finest level of any version
        for (const int rows : RunEnvelope::stored_levels(db, table)) {
            if (rows <= rowsPerBucket) {
                levels.insert(levels.begin(), rows);
            }
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
    for (const int level : levels) {
        const bool afterCovered = coveredUntil >= lower;
        coveredUntil =
            std::max(coveredUntil,
                     RunEnvelope::read_level(db, table, level, afterCovered ? coveredUntil : lower,
                                             afterCovered, upper, envelope));
    }
    if (coveredUntil >= lower) {
        prepared = prepare_rows();
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

} // namespace run_reader
