#include "tablecsv.h"

#include "fixednumber.h"
#include "savefilecommit.h"
#include "sqliteconnection.h"

#include <QDebug>
#include <QFileDevice>
#include <QSaveFile>

#include <sqlite3.h>

#include <string>

namespace {
constexpr int timeColumn = 1;
constexpr int timeDecimals = 4;
constexpr std::size_t flushBytes = 1 << 20;

void append_field(std::string &line, sqlite3_stmt *statement, int column, int realDecimals)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_FLOAT:
        append_fixed(line, sqlite3_column_double(statement, column), realDecimals);
        break;
    case SQLITE_INTEGER:
        line += std::to_string(sqlite3_column_int64(statement, column));
        break;
    case SQLITE_NULL:
        break;
    default: {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, column));
        line.append(bytes == nullptr ? "" : bytes,
                    static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    }
    }
}

// A pipe may take only part of the bytes before it fails; writing the rest makes the
// failure, and its reason, show.
bool flush(QIODevice &device, std::string &buffer)
{
    const char *data = buffer.data();
    auto left = static_cast<qint64>(buffer.size());
    while (left > 0) {
        const qint64 written = device.write(data, left);
        if (written <= 0) {
            break;
        }
        data += written;
        left -= written;
    }
    buffer.clear();
    return left == 0;
}

// The statement reading every row of table, or those of range; null after saying why on the
// debug output.
sqlite_connection::Statement select_rows(sqlite3 *db, const QString &table,
                                         const std::optional<TimeRange> &range)
{
    QString sql = QStringLiteral("SELECT * FROM %1").arg(sqlite_connection::quoted(table));
    if (range) {
        sql += QLatin1String(" WHERE time >= ?1 AND time <= ?2");
    }
    sqlite_connection::Statement statement = sqlite_connection::prepare(db, sql.toUtf8());
    if (!statement) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
    } else if (range) {
        sqlite3_bind_double(statement.get(), 1, range->first_stored());
        sqlite3_bind_double(statement.get(), 2, range->last_stored());
    }
    return statement;
}

// The header and the rows of the statement into device, in pieces of about flushBytes.
Status write_rows(sqlite3 *db, sqlite3_stmt *statement, QIODevice &device, int voltageDecimals,
                  std::atomic<qint64> *rowsWritten)
{
    std::string buffer;
    buffer.reserve(flushBytes + 4096);
    const int columns = sqlite3_column_count(statement);
    for (int column = 0; column < columns; ++column) {
        if (column > 0) {
            buffer += ',';
        }
        buffer += sqlite3_column_name(statement, column);
    }
    buffer += '\n';

    int step = SQLITE_ROW;
    qint64 rows = 0;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0) {
                buffer += ',';
            }
            append_field(buffer, statement, column,
                         column == timeColumn ? timeDecimals : voltageDecimals);
        }
        buffer += '\n';
        if (buffer.size() >= flushBytes) {
            if (!flush(device, buffer)) {
                return Status::write_failed(device.errorString());
            }
            if (rowsWritten != nullptr) {
                // Counted per flush: a figure for a progress line, not per row.
                rowsWritten->store(rows, std::memory_order_relaxed);
            }
        }
        ++rows;
    }
    if (step != SQLITE_DONE) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
        qDebug().noquote() << "Error executing query:" << reason;
        return Status::read_failed(reason);
    }
    if (!flush(device, buffer)) {
        return Status::write_failed(device.errorString());
    }
    return {};
}

Status database_not_open()
{
    qDebug() << "Error executing query: database not open";
    return Status::read_failed(QStringLiteral("database not open"));
}
// The query over the table (or range) into statement, or why it could not be made.
Status select_table(sqlite3 *db, const QString &table, const std::optional<TimeRange> &range,
                    sqlite_connection::Statement &statement)
{
    if (db == nullptr) {
        return database_not_open();
    }
    statement = select_rows(db, table, range);
    if (!statement) {
        return Status::read_failed(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    return {};
}
} // namespace

Status write_table_csv(sqlite3 *db, const QString &table, const QString &path, int voltageDecimals,
                       const std::optional<TimeRange> &range, std::atomic<qint64> *rowsWritten)
{
    sqlite_connection::Statement statement;
    if (Status selected = select_table(db, table, range, statement); !selected.ok()) {
        return selected;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qDebug() << "Error: Unable to open file for writing";
        return Status::write_failed(file.errorString());
    }
    Status outcome = write_rows(db, statement.get(), file, voltageDecimals, rowsWritten);
    if (outcome.is(Status::Kind::ReadFailed)) {
        file.cancelWriting();
        return outcome;
    }
    if (!outcome.ok() || !commit_save_file(file)) {
        qDebug().noquote() << "Error: Unable to write file" << path << file.errorString();
        outcome = Status::write_failed(file.errorString());
        file.cancelWriting();
        return outcome;
    }
    qDebug().noquote() << "Data exported to" << path;
    return outcome;
}

Status write_table_csv(sqlite3 *db, const QString &table, QIODevice &device, int voltageDecimals,
                       const std::optional<TimeRange> &range, std::atomic<qint64> *rowsWritten)
{
    sqlite_connection::Statement statement;
    if (Status selected = select_table(db, table, range, statement); !selected.ok()) {
        return selected;
    }
    Status outcome = write_rows(db, statement.get(), device, voltageDecimals, rowsWritten);
    auto *file = qobject_cast<QFileDevice *>(&device);
    if (outcome.ok() && file != nullptr && !file->flush()) {
        outcome = Status::write_failed(file->errorString());
    }
    if (outcome.is(Status::Kind::WriteFailed)) {
        qDebug().noquote() << "Error: Unable to write" << outcome.message();
    }
    return outcome;
}
